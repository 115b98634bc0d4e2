// client: the one program of a consumer project, built on
// ZELTRA_ScreenTool::caller. It records the window its first argument names
// into the file its second names, with the launcher that
// zeltra_screentool_copy_beside put beside it, until a line comes on its
// input; it exits with 0 only when the file is this run's, closed by the
// encoder. Its build is the point: the header compiles cleanly under a
// strict caller's warnings and links against the package's target.
#include <cstdio>
#include <string>

#include "zeltra_screentool.h"

int wmain(int argc, wchar_t** argv) {
  namespace zc = zeltra::caller;
  if (argc != 3) return 2;
  wchar_t path[MAX_PATH] = {};
  const std::wstring program(path, ::GetModuleFileNameW(/*hModule=*/nullptr, path, MAX_PATH));
  zc::StartResult started = zc::startRecording(
      program.substr(0, program.find_last_of(L'\\') + 1) + L"ZELTRA_ScreenTool.exe", argv[1],
      argv[2]);
  if (started.outcome != zc::StartOutcome::kStarted) return 1;
  std::getchar();
  return started.recording.stop().output == zc::OutputFile::kFinished ? 0 : 1;
}
