// bench_tool's role as cmd.exe: a command interpreter that never returns, put
// where %ComSpec% points. It starts a child of its own, as an interpreter
// starts taskkill, and then waits for nothing, as cmd.exe does when an
// AutoRun command waits for input on a console nobody sees. The child waits
// likewise.
//
// Log lines, appended to hung-interpreter.log beside it:
//   interpreter <pid> <hex command line>   once started
//   child <pid> <parent pid>               once its child runs
// Usage: any command line (it is only logged); "--child" makes the child.
#include <windows.h>

#include <cstring>
#include <string>

#include "bench_tool.h"
#include "helper_log.h"

namespace zeltra::helpers {

int hungInterpreter(const Words& words) {
  const std::wstring directory = directoryOfThisProgram();
  const std::string pid = std::to_string(::GetCurrentProcessId());
  const std::wstring widePid = std::to_wstring(::GetCurrentProcessId());
  if (std::strcmp(words[0], "--child") == 0) {
    appendLogLine(directory, L"hung-interpreter.log", "child " + pid + " " + words[1]);
    ::Sleep(INFINITE);
  }
  appendLogLine(directory, L"hung-interpreter.log",
                "interpreter " + pid + " " + toHex(::GetCommandLineA()));
  std::wstring childLine = L"\"" + pathOfThisProgram() + L"\" --child " + widePid;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child{};
  if (::CreateProcessW(nullptr, childLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                       nullptr, nullptr, &startup, &child)) {
    ::CloseHandle(child.hThread);
    ::CloseHandle(child.hProcess);
  }
  ::Sleep(INFINITE);
  return 0;
}

}  // namespace zeltra::helpers
