// What finished the launcher's encoder, read from the launcher's diagnostic
// lines.
//
// After the stop, the launcher says "the encoder finished N ms after the stop
// command" once its encoder has exited. Where the stop command alone did not
// reach it, the line "the encoder has not finished on the stop command;
// asking it once more with Ctrl+C through its console" comes first; where
// nothing did, the launcher ends it after its time limit and says so. An
// encoder that ended before any stop (it could not write its file, say) has
// a line of its own.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace zeltra::check {

enum class EncoderFinish {
  kUnknown,       // no line says
  kStopCommand,   // the stop command alone
  kCtrlC,         // the launcher's Ctrl+C through the encoder's console
  kTermination,   // ended after the time limit: its file is unfinished
  kEndedOnItsOwn  // it ended before the stop: nothing was being recorded
};

struct FinishReading {
  EncoderFinish how = EncoderFinish::kUnknown;
  std::optional<long> msAfterStop;  // from the "finished N ms after" line
};

// The text of one of the launcher's diagnostic lines, without its prefix and
// line end; nullopt when the line is not one of the launcher's.
std::optional<std::string> launcherLineText(const std::string& debugOutput);

// Reads the launcher's lines (texts as launcherLineText gives them).
FinishReading readEncoderFinish(const std::vector<std::string>& launcherLines);

// Whether that way of finishing leaves a finished file.
bool finishedTheFile(EncoderFinish how);

}  // namespace zeltra::check
