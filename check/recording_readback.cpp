// Reading a recording back (see recording_readback.h).
#include "check/recording_readback.h"

#include <cstdlib>
#include <set>

#include "check/test_picture.h"

namespace zeltra::check {
namespace {

constexpr int kColourTolerance = 40;  // the encoder's compression blurs colours this much
constexpr int kCursorMargin = 40;     // a cursor is at most 32 pixels, drawn from its hot spot
constexpr int kBarMargin = 8;         // the bar's edges blur into the picture
constexpr int kShift = 4;             // a rectangle this far off must show
// The encoder's compression leaves a frame of the right rectangle this close.
constexpr double kAlignedDifference = 12;

// The first "<w>x<h>" word (digits, no leading zero) in text: the codec tag
// ("xvid / 0x64697678") is never taken for a size.
bool readSize(std::string_view text, int& width, int& height) {
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find_first_of(" ,[", start);
    const std::string_view word = text.substr(start, end - start);
    const size_t x = word.find('x');
    if (x != std::string_view::npos && x > 0 && x + 1 < word.size() && word[0] != '0' &&
        word[x + 1] != '0' && word.find_first_not_of("0123456789x") == std::string_view::npos &&
        word.find('x', x + 1) == std::string_view::npos) {
      width = static_cast<int>(std::strtol(std::string(word.substr(0, x)).c_str(), nullptr, 10));
      height = static_cast<int>(std::strtol(std::string(word.substr(x + 1)).c_str(), nullptr, 10));
      return true;
    }
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return false;
}

// The number before " fps" in text, or 0.
double readRate(std::string_view text) {
  const size_t at = text.find(" fps");
  if (at == std::string_view::npos) return 0;
  const size_t start = text.find_last_of(' ', at - 1);
  return std::strtod(std::string(text.substr(start + 1, at - start - 1)).c_str(), nullptr);
}

std::optional<double> readDuration(std::string_view text) {
  const size_t at = text.find("Duration: ");
  if (at == std::string_view::npos) return std::nullopt;
  const std::string clock(text.substr(at + 10, 11));  // HH:MM:SS.hh
  if (clock.size() < 11 || clock[2] != ':' || clock[5] != ':') return std::nullopt;
  return std::strtol(clock.substr(0, 2).c_str(), nullptr, 10) * 3600.0 +
         std::strtol(clock.substr(3, 2).c_str(), nullptr, 10) * 60 +
         std::strtod(clock.substr(6).c_str(), nullptr);
}

Colour pixelAt(std::string_view frame, int width, Point p) {
  const size_t at = (static_cast<size_t>(p.y) * width + p.x) * 3;
  return Colour{static_cast<uint8_t>(frame[at]), static_cast<uint8_t>(frame[at + 1]),
                static_cast<uint8_t>(frame[at + 2])};
}

bool near(Colour a, Colour b) {
  return std::abs(a.r - b.r) <= kColourTolerance && std::abs(a.g - b.g) <= kColourTolerance &&
         std::abs(a.b - b.b) <= kColourTolerance;
}

std::string describe(Colour c) {
  return std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b);
}

// The middle of a lit (not black) cell in each quadrant, and the white centre.
// In window coordinates, which are the frame's: the frame starts at the window's corner.
std::vector<Point> knownPoints(int width, int height) {
  std::vector<Point> points{{width / 2, height / 2}};
  for (const Point q : {Point{width / 4, height / 4}, Point{3 * width / 4, height / 4},
                        Point{width / 4, 3 * height / 4}, Point{3 * width / 4, 3 * height / 4}}) {
    Point cell{q.x / kPictureCell * kPictureCell, q.y / kPictureCell * kPictureCell};
    if ((cell.x / kPictureCell + cell.y / kPictureCell) % 2 == 1) cell.x += kPictureCell;
    points.push_back(Point{cell.x + kPictureCell / 2, cell.y + kPictureCell / 2});
  }
  return points;
}

// The bar's left edge on the frame's middle row, or -1.
int barPosition(std::string_view frame, int width, int height) {
  for (int x = 0; x < width; ++x) {
    if (looksLikeBar(pixelAt(frame, width, Point{x, height / 2}))) return x;
  }
  return -1;
}

bool underBar(Point p, int bar) {
  return bar >= 0 && p.x >= bar - kBarMargin && p.x < bar + kBarWidth + kBarMargin;
}

bool nearCursor(Point p, Point cursor) {
  return std::abs(p.x - cursor.x) < kCursorMargin && std::abs(p.y - cursor.y) < kCursorMargin;
}

struct Frame {
  std::string_view rgb;
  int width = 0;
  int height = 0;
};

// The mean difference per channel between the frame and the picture, frame
// pixel (x, y) standing for window pixel (x + dx, y + dy); the bar, the
// cursor and every second pixel each way are left out.
double meanDifference(const Frame& frame, int windowWidth, int windowHeight, Point shift, int bar,
                      Point cursor) {
  long total = 0;
  long count = 0;
  for (int y = 0; y < frame.height; y += 2) {
    for (int x = 0; x < frame.width; x += 2) {
      const Point window{x + shift.x, y + shift.y};
      if (window.x < 0 || window.y < 0 || window.x >= windowWidth || window.y >= windowHeight ||
          underBar(Point{x, y}, bar) || nearCursor(Point{x, y}, cursor)) {
        continue;
      }
      const Colour seen = pixelAt(frame.rgb, frame.width, Point{x, y});
      const Colour expected = pictureColourAt(window.x, window.y, windowWidth, windowHeight);
      total += std::abs(seen.r - expected.r) + std::abs(seen.g - expected.g) +
               std::abs(seen.b - expected.b);
      count += 3;
    }
  }
  return count > 0 ? static_cast<double>(total) / count : 255;
}

}  // namespace

std::optional<StreamFacts> readStreamFacts(std::string_view ffmpegErrorOutput) {
  const size_t stream = ffmpegErrorOutput.find("Video: ");
  if (stream == std::string_view::npos) return std::nullopt;
  const std::string_view line =
      ffmpegErrorOutput.substr(stream, ffmpegErrorOutput.find('\n', stream) - stream);
  StreamFacts facts;
  if (!readSize(line, facts.width, facts.height)) return std::nullopt;
  facts.fps = readRate(line);
  facts.durationSeconds = readDuration(ffmpegErrorOutput);
  return facts;
}

PictureFindings checkPictures(std::string_view rgb, int frameWidth, int frameHeight,
                              int windowWidth, int windowHeight, Point cursor) {
  PictureFindings findings;
  const size_t frameSize = static_cast<size_t>(frameWidth) * frameHeight * 3;
  if (frameSize == 0) return findings;
  findings.frames = static_cast<int>(rgb.size() / frameSize);
  if (findings.frames == 0) return findings;
  const auto frame = [&](int index) { return rgb.substr(index * frameSize, frameSize); };
  const int middle = findings.frames / 2;
  std::set<int> seen;
  for (const int index : {findings.frames / 6, middle, findings.frames - 1 - findings.frames / 6}) {
    findings.barPositions.push_back(barPosition(frame(index), frameWidth, frameHeight));
    seen.insert(findings.barPositions.back());
  }
  findings.barMoved = seen.count(-1) == 0 && seen.size() > 1;
  for (const Point p : knownPoints(windowWidth, windowHeight)) {
    if (p.x >= frameWidth || p.y >= frameHeight) continue;
    if (nearCursor(p, cursor)) continue;
    // The middle frame, or the next one where the bar stands elsewhere.
    int index = middle;
    while (index + 1 < findings.frames &&
           underBar(p, barPosition(frame(index), frameWidth, frameHeight))) {
      ++index;
    }
    ++findings.pointsChecked;
    const Colour seenColour = pixelAt(frame(index), frameWidth, p);
    const Colour expected = pictureColourAt(p.x, p.y, windowWidth, windowHeight);
    if (!near(seenColour, expected)) {
      findings.mismatches.push_back("at " + std::to_string(p.x) + "," + std::to_string(p.y) + ": " +
                                    describe(seenColour) + " where " + describe(expected) +
                                    " belongs");
    }
  }
  const Frame middleFrame{frame(middle), frameWidth, frameHeight};
  const int bar = barPosition(middleFrame.rgb, frameWidth, frameHeight);
  findings.difference =
      meanDifference(middleFrame, windowWidth, windowHeight, Point{0, 0}, bar, cursor);
  findings.shiftedDifference = 255;
  for (const Point shift :
       {Point{kShift, 0}, Point{-kShift, 0}, Point{0, kShift}, Point{0, -kShift}}) {
    const double shifted =
        meanDifference(middleFrame, windowWidth, windowHeight, shift, bar, cursor);
    if (shifted < findings.shiftedDifference) findings.shiftedDifference = shifted;
  }
  findings.aligned = findings.difference < kAlignedDifference &&
                     findings.shiftedDifference > 3 * findings.difference;
  return findings;
}

}  // namespace zeltra::check
