// What finished the launcher's encoder (see encoder_finish.h).
#include "check/encoder_finish.h"

#include <cstdlib>
#include <string_view>

#include "launcher/diagnostics.h"

namespace zeltra::check {
namespace {

constexpr std::string_view kPrefix = kDiagnosticPrefix;
constexpr std::string_view kFinished = "the encoder finished ";
constexpr std::string_view kFinishedEnd = " ms after the stop command";
constexpr std::string_view kAskedWithCtrlC = "the encoder has not finished on the stop command";
constexpr std::string_view kTerminated = "the encoder was still running ";
constexpr std::string_view kEndedOnItsOwn = "the encoder ended on its own";

bool startsWith(std::string_view text, std::string_view start) {
  return text.substr(0, start.size()) == start;
}

// N of "the encoder finished N ms after the stop command", or nullopt.
std::optional<long> finishedAfterMs(std::string_view line) {
  if (!startsWith(line, kFinished)) return std::nullopt;
  const std::string_view rest = line.substr(kFinished.size());
  const size_t digits = rest.find_first_not_of("0123456789");
  if (digits == 0 || digits == std::string_view::npos || rest.substr(digits) != kFinishedEnd) {
    return std::nullopt;
  }
  return std::strtol(std::string(rest.substr(0, digits)).c_str(), nullptr, 10);
}

}  // namespace

std::optional<std::string> launcherLineText(const std::string& debugOutput) {
  std::string_view text = debugOutput;
  if (!startsWith(text, kPrefix)) return std::nullopt;
  text.remove_prefix(kPrefix.size());
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
  return std::string(text);
}

FinishReading readEncoderFinish(const std::vector<std::string>& launcherLines) {
  FinishReading reading;
  bool askedWithCtrlC = false;
  for (const std::string& line : launcherLines) {
    if (startsWith(line, kTerminated)) return FinishReading{EncoderFinish::kTermination, {}};
    if (startsWith(line, kEndedOnItsOwn)) return FinishReading{EncoderFinish::kEndedOnItsOwn, {}};
    if (startsWith(line, kAskedWithCtrlC)) askedWithCtrlC = true;
    if (const std::optional<long> ms = finishedAfterMs(line)) {
      reading =
          FinishReading{askedWithCtrlC ? EncoderFinish::kCtrlC : EncoderFinish::kStopCommand, ms};
    }
  }
  return reading;
}

bool finishedTheFile(EncoderFinish how) {
  return how == EncoderFinish::kStopCommand || how == EncoderFinish::kCtrlC;
}

}  // namespace zeltra::check
