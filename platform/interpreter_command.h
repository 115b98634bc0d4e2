// The command line that hands a command to a command interpreter, composed
// here, apart from Windows, so that the launcher's stop and the Wine bench's
// reference run the very same line.
#pragma once

#include <string>

namespace zeltra {

// "<interpreter>" /d /c <command> for cmd.exe (its file name in any case),
// "<interpreter>" /c <command> for any other interpreter.
//
// cmd.exe first runs the AutoRun commands of the registry's Command Processor
// keys (HKCU and HKLM) unless /d is given: one that waits for input would wait
// forever on the hidden console, and a slow one would delay every stop.
// The interpreter's path is quoted whole (no Windows path holds a quote); the
// command follows /c as it stands, since cmd.exe takes the rest of the line
// as the command.
std::string interpreterCommandLine(const std::string& interpreterPath,
                                   const std::string& commandText);

}  // namespace zeltra
