// client: the one program of a consumer project, built on
// ZELTRA_ScreenTool::caller and run from its own build folder, where
// zeltra_screentool_copy_beside put the launcher and the check.
//
//   client <window title> <output path>
//
// Starts the launcher beside it, records until a line (or the end) comes on
// standard input, then stops. One line per step: "started", then
// "stopped finished" or "stopped not-finished"; "not-started" when the start
// failed or was refused. Exits with 0 only when the file is this run's, closed by the encoder.
#include <cstdio>
#include <string>

#include "zeltra_screentool.h"

namespace {

namespace zc = zeltra::caller;

std::wstring launcherBesideThisProgram() {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameW(/*hModule=*/nullptr, path, MAX_PATH);
  const std::wstring program(path, length);
  return program.substr(0, program.find_last_of(L'\\') + 1) + L"ZELTRA_ScreenTool.exe";
}

void report(const char* line) {
  std::puts(line);
  std::fflush(stdout);  // whoever drives this program reacts to each line
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    report("usage: client <window title> <output path>");
    return 2;
  }
  zc::StartResult started = zc::startRecording(launcherBesideThisProgram(), argv[1], argv[2]);
  if (started.outcome != zc::StartOutcome::kStarted) {
    report("not-started");
    return 1;
  }
  report("started");
  char line[16];
  std::fgets(line, sizeof line, stdin);
  const zc::StopResult stopped = started.recording.stop();
  const bool finished = stopped.output == zc::OutputFile::kFinished;
  report(finished ? "stopped finished" : "stopped not-finished");
  return finished ? 0 : 1;
}
