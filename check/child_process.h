// Running a console program to its end with its output captured, and
// finding processes by image name. Windows only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zeltra::check {

struct ProgramRun {
  bool started = false;
  uint32_t startError = 0;   // why it could not be started
  bool timedOut = false;     // it was ended at the time limit
  bool interrupted = false;  // it was ended because the check was interrupted
  bool drained = false;      // both outputs were read to their end
  uint32_t exitCode = 0;
  std::string output;  // standard output
  std::string errors;  // standard error
};

// Runs "<program>" parameters with standard input empty and both outputs
// captured, and waits for it. A program still running after timeoutMs, or
// when the event interruption is set, is ended, so none is ever left behind.
// The program's path is wide, so it may lie in any folder; the parameters
// (ANSI) are widened character for character.
ProgramRun runProgram(const std::wstring& program, const std::string& parameters,
                      uint32_t timeoutMs, void* interruption = nullptr);

struct RunningProcess {
  uint32_t id = 0;
  uint32_t parentId = 0;
};

// Every process of that image name ("ffmpeg.exe"), compared without regard to case.
std::vector<RunningProcess> findProcesses(const std::string& imageName);

// Ends the process with that id, if it still runs.
void endProcess(uint32_t processId);

}  // namespace zeltra::check
