// A command interpreter that never returns, put where %ComSpec% points: it
// starts a child of its own, as an interpreter starts taskkill, and then
// waits for nothing, as cmd.exe does when an AutoRun command waits for input
// on a console nobody sees. The child waits likewise.
//
// Log lines, appended to hung-interpreter.log beside it:
//   interpreter <pid> <hex command line>   once started
//   child <pid> <parent pid>               once its child runs
// Usage: any command line (it is only logged); "--child" makes the child.
#include <windows.h>

#include <cstring>
#include <string>

#include "helper_log.h"
#include "helper_text.h"

namespace {

std::string ownPath() {
  char path[MAX_PATH * 4];
  const DWORD length = ::GetModuleFileNameA(nullptr, path, sizeof path);
  return std::string(path, length);
}

void logLine(const std::string& line) {
  zeltra::helpers::appendLogLine(L"hung-interpreter.log", line);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string pid = std::to_string(::GetCurrentProcessId());
  if (argc > 1 && std::strcmp(argv[1], "--child") == 0) {
    logLine("child " + pid + " " + (argc > 2 ? argv[2] : "0"));
    ::Sleep(INFINITE);
    return 0;
  }
  logLine("interpreter " + pid + " " + zeltra::helpers::toHex(::GetCommandLineA()));
  std::string childLine = "\"" + ownPath() + "\" --child " + pid;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child{};
  if (::CreateProcessA(nullptr, childLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                       nullptr, nullptr, &startup, &child)) {
    ::CloseHandle(child.hThread);
    ::CloseHandle(child.hProcess);
  }
  ::Sleep(INFINITE);
  return 0;
}
