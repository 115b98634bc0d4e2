// bench_tool read-back: a recording read back as the machine check reads it,
// with the check's own code (check/child_process.h, check/recording_readback.h)
// and an encoder build of the launcher's, so that the tests, the demo and the
// benchmark take a file for what the check would. Beside the check's facts it
// names those its callers check or show too: what FFmpeg says of the
// container and the codec, the frames decoded, whether the AVI file was
// finished (the caller header's judgement, in its words), and the target
// window's clock (window_clock.h) in each frame.
// Usage: bench_tool read-back <encoder path> <recording path> [--clock]
// Prints one line a fact, its name first:
//   container <name>, codec <name>, tag <fourcc>,
//   size <width>x<height>, rate <fps>, duration <seconds | none>,
//   frames <count decoded>, avi <finished | unfinished | not-judged>,
//   with --clock then "clock <tick | none>" for each frame, in order;
// or "unreadable <what went wrong>" with exit code 1.
#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

#include "bench_tool.h"
#include "caller/zeltra_screentool.h"
#include "check/child_process.h"
#include "check/recording_readback.h"
#include "platform/ansi_text.h"
#include "window_clock.h"

namespace zeltra::helpers {
namespace {

// Within the driver's bound for any one step (60 s): a read-back of a few
// seconds' recording takes a few seconds.
constexpr uint32_t kReadBackLimitMs = 45000;

// The text after from, up to the first of the ends; "none" when from is not there.
std::string wordAfter(std::string_view text, std::string_view from, const char* ends) {
  const size_t at = text.find(from);
  if (at == std::string_view::npos) return "none";
  const size_t start = at + from.size();
  return std::string(text.substr(start, text.find_first_of(ends, start) - start));
}

// The codec tag of "Video: mpeg4 (Simple Profile) (XVID / 0x44495658), ...".
std::string codecTag(std::string_view errors) {
  const std::string_view line = errors.substr(errors.find("Video: "));
  const size_t slash = line.substr(0, line.find('\n')).find(" / 0x");
  if (slash == std::string_view::npos) return "none";
  const size_t open = line.rfind('(', slash) + 1;
  return std::string(line.substr(open, slash - open));
}

// The cells a frame's clock shows (luma, row by row), each judged by the mean
// of its middle: its edges blur under compression.
uint32_t clockCellsSeen(std::string_view luma, int width) {
  uint32_t bits = 0;
  for (int i = 0; i < kClockCells; ++i) {
    const int x = clockCellLeft(i) + kClockCellWidth / 2;
    const int y = clockCellTop(i) + kClockCellHeight / 2;
    long sum = 0;
    long count = 0;
    for (int dy = -4; dy <= 4; ++dy) {
      for (int dx = -6; dx <= 6; ++dx, ++count) {
        sum += static_cast<unsigned char>(luma[static_cast<size_t>(y + dy) * width + x + dx]);
      }
    }
    if (sum > 128 * count) bits |= 1u << i;
  }
  return bits;
}

void sayClocks(std::string_view luma, const check::StreamFacts& facts) {
  const size_t frameSize = static_cast<size_t>(facts.width) * facts.height;
  const bool holdsClock = facts.width >= kClockWidth && facts.height >= kClockHeight;
  for (size_t at = 0; at + frameSize <= luma.size(); at += frameSize) {
    const std::optional<uint32_t> tick =
        holdsClock ? clockTick(clockCellsSeen(luma.substr(at, frameSize), facts.width))
                   : std::nullopt;
    if (tick) {
      say("clock %lu", static_cast<unsigned long>(*tick));
    } else {
      say("clock none");
    }
  }
}

}  // namespace

int readBack(const Words& words) {
  const std::string recording = words[1];
  // Every frame as it was decoded, none repeated or dropped to fit a rate.
  const check::ProgramRun run =
      check::runProgram(widenFromAnsi(words[0]),
                        "-hide_banner -nostdin -i \"" + recording +
                            "\" -vsync passthrough -f rawvideo -pix_fmt gray -",
                        kReadBackLimitMs);
  const std::optional<check::StreamFacts> facts = check::readStreamFacts(run.errors);
  if (!run.started || run.timedOut || !run.drained || !facts || facts->width <= 0) {
    say("unreadable %s", run.started ? (run.timedOut ? "in time" : "no video") : "not started");
    return 1;
  }
  say("container %s", wordAfter(run.errors, "Input #0, ", ",").c_str());
  say("codec %s", wordAfter(run.errors, "Video: ", " ,").c_str());
  say("tag %s", codecTag(run.errors).c_str());
  say("size %dx%d", facts->width, facts->height);
  say("rate %g", facts->fps);
  if (facts->durationSeconds) {
    say("duration %.2f", *facts->durationSeconds);
  } else {
    say("duration none");
  }
  say("frames %lu", static_cast<unsigned long>(
                        run.output.size() / (static_cast<size_t>(facts->width) * facts->height)));
  say("avi %s", caller::detail::toString(caller::detail::judgeFile(widenFromAnsi(recording))));
  if (words.has("--clock")) sayClocks(run.output, *facts);
  return 0;
}

}  // namespace zeltra::helpers
