// What finished the launcher's encoder (see encoder_finish.h).
#include "check/encoder_finish.h"

#include <string_view>

#include "launcher/diagnostics.h"

namespace zeltra::check {

std::optional<std::string> launcherLineText(const std::string& debugOutput) {
  constexpr std::string_view kPrefix = kDiagnosticPrefix;
  std::string_view text = debugOutput;
  if (text.substr(0, kPrefix.size()) != kPrefix) return std::nullopt;
  text.remove_prefix(kPrefix.size());
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
  return std::string(text);
}

std::optional<FinishKey> readEncoderFinish(const std::vector<std::string>& launcherLines) {
  std::optional<FinishKey> last;
  for (const std::string& line : launcherLines) {
    if (const std::optional<FinishKey> key = readFinishKey(line)) last = key;
  }
  return last;
}

bool finishedTheFile(EncoderFinish how) {
  return how == EncoderFinish::kStopCommand || how == EncoderFinish::kStopKey ||
         how == EncoderFinish::kCtrlC;
}

}  // namespace zeltra::check
