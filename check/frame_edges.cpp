// The outer edge of a recorded frame (see frame_edges.h).
#include "check/frame_edges.h"

#include <cstdlib>

namespace zeltra::check {
namespace {

constexpr int kColourTolerance = 40;  // the encoder's compression blurs colours this much

bool looksLike(std::string_view frame, size_t at, Colour colour) {
  return std::abs(static_cast<uint8_t>(frame[at]) - colour.r) <= kColourTolerance &&
         std::abs(static_cast<uint8_t>(frame[at + 1]) - colour.g) <= kColourTolerance &&
         std::abs(static_cast<uint8_t>(frame[at + 2]) - colour.b) <= kColourTolerance;
}

bool inCorner(int x, int y, int width, int height, int corner) {
  const bool nearSide = x < corner || x >= width - corner;
  const bool nearEnd = y < corner || y >= height - corner;
  return nearSide && nearEnd;
}

}  // namespace

int countEdgePixelsLike(std::string_view rgbFrame, int width, int height, Colour colour, int band,
                        int corner) {
  if (width <= 0 || height <= 0 || rgbFrame.size() < static_cast<size_t>(width) * height * 3) {
    return 0;
  }
  int count = 0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const bool onEdge = x < band || x >= width - band || y < band || y >= height - band;
      if (!onEdge || inCorner(x, y, width, height, corner)) continue;
      if (looksLike(rgbFrame, (static_cast<size_t>(y) * width + x) * 3, colour)) ++count;
    }
  }
  return count;
}

}  // namespace zeltra::check
