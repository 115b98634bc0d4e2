// How the launcher's own encoder ended, as a stable key inside the one
// diagnostic line that says it. The launcher writes it; the machine check
// and the Wine bench read it, and never the line's words, which are for
// people and may change.
//
// The key ends the line: " [finish=<key>]", or " [finish=<key> ms=<n>]"
// where the encoder exited by itself after the stop command, n counted from
// the command's return.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zeltra {

enum class EncoderFinish {
  kStopCommand,    // "stop-command": the stop command's close request alone finished it
  kStopKey,        // "stop-key": it finished after the launcher typed its stop key
  kCtrlC,          // "ctrl-c": it finished after the launcher's Ctrl+C
  kEnded,          // "ended": ended at the time limit; its file is unfinished
  kExitedAtLimit,  // "exited-at-limit": it exited just as it was to be ended
  kNotEnded,       // "not-ended": it could not be ended; it may record on
  kOnItsOwn,       // "on-its-own": it ended before any stop; nothing was being recorded
};

struct FinishKey {
  EncoderFinish finish = EncoderFinish::kEnded;
  std::optional<uint32_t> msAfterStopCommand;
};

inline constexpr std::string_view kFinishKeyOpening = " [finish=";

inline const char* finishKeyName(EncoderFinish finish) {
  switch (finish) {
    case EncoderFinish::kStopCommand:
      return "stop-command";
    case EncoderFinish::kStopKey:
      return "stop-key";
    case EncoderFinish::kCtrlC:
      return "ctrl-c";
    case EncoderFinish::kEnded:
      return "ended";
    case EncoderFinish::kExitedAtLimit:
      return "exited-at-limit";
    case EncoderFinish::kNotEnded:
      return "not-ended";
    case EncoderFinish::kOnItsOwn:
      return "on-its-own";
  }
  return "";
}

inline std::string formatFinishKey(const FinishKey& key) {
  std::string text(kFinishKeyOpening);
  text += finishKeyName(key.finish);
  if (key.msAfterStopCommand) text += " ms=" + std::to_string(*key.msAfterStopCommand);
  return text + "]";
}

// The key a line ends with; nullopt when it ends with none, or with one
// this reader does not know.
inline std::optional<FinishKey> readFinishKey(std::string_view line) {
  const size_t opening = line.rfind(kFinishKeyOpening);
  if (opening == std::string_view::npos || line.empty() || line.back() != ']') return std::nullopt;
  std::string_view body = line.substr(opening + kFinishKeyOpening.size());
  body.remove_suffix(1);
  const size_t blank = body.find(' ');
  const std::string_view name = body.substr(0, blank);
  FinishKey key;
  bool known = false;
  for (const EncoderFinish finish :
       {EncoderFinish::kStopCommand, EncoderFinish::kStopKey, EncoderFinish::kCtrlC,
        EncoderFinish::kEnded, EncoderFinish::kExitedAtLimit, EncoderFinish::kNotEnded,
        EncoderFinish::kOnItsOwn}) {
    if (name == finishKeyName(finish)) {
      key.finish = finish;
      known = true;
    }
  }
  if (!known) return std::nullopt;
  if (blank == std::string_view::npos) return key;
  const std::string_view ms = body.substr(blank + 1);
  constexpr std::string_view kMs = "ms=";
  if (ms.substr(0, kMs.size()) != kMs || ms.size() == kMs.size() || ms.size() > kMs.size() + 10) {
    return std::nullopt;
  }
  uint64_t value = 0;
  for (const char c : ms.substr(kMs.size())) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  if (value > UINT32_MAX) return std::nullopt;
  key.msAfterStopCommand = static_cast<uint32_t>(value);
  return key;
}

}  // namespace zeltra
