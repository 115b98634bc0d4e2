// bench_tool's short commands on the desktop, each run to its end by the
// driver, which reads what it printed:
//   send <hex class> <hex title> <message> [how] [count]
//       Sends a message to the top-level window found by class and title, as
//       a caller stops the launcher. how: post (the default) posts count
//       times (1 by default); send:<ms> sends count times with
//       SendMessageTimeout, printing "result <n> <succeeded 0|1> <last error>
//       <tick on return>" for each; thread posts to the window's thread.
//       Prints "sent <tick>" first, or "missing" (exit code 1).
//   windows <pid>
//       The top-level windows of one process, to show what it put on screen
//       (no error box, say): "window <visible> <iconic> <hex class> <hex
//       title>" each.
//   exit-code <pid>
//       Waits for the process to end: "watching", then "exit <code>"; or
//       "missing" when there is no such process.
//   ctrl-c <pid>
//       Presses Ctrl+C on that process's console, as a person at it would:
//       attaches to it and sends the event to the process group the process
//       leads. Windows would take group 0 for every process on the console;
//       Wine takes it for the sender's own group alone, so the program is
//       started in a group of its own (run --console) and named here.
//       Prints "sent", or "not-sent <attach | send> <error>".
#include <windows.h>

#include <string>

#include "bench_tool.h"

namespace zeltra::helpers {

int sendMessage(const Words& words) {
  const HWND window = ::FindWindowA(fromHex(words[0]).c_str(), fromHex(words[1]).c_str());
  if (window == nullptr) {
    say("missing");
    return 1;
  }
  const UINT message = static_cast<UINT>(words.number(2));
  const std::string how = words.size() > 3 ? words[3] : "post";
  const long count = words.size() > 4 ? words.number(4) : 1;
  say("sent %lu", ::GetTickCount());
  for (long i = 1; i <= count; ++i) {
    if (how.rfind("send:", 0) == 0) {
      DWORD_PTR result = 0;
      ::SetLastError(0);
      const LRESULT ok = ::SendMessageTimeoutA(window, message, 0, 0, SMTO_NORMAL,
                                               toNumber(how.c_str() + 5), &result);
      const DWORD error = ::GetLastError();
      say("result %ld %d %lu %lu", i, ok != 0 ? 1 : 0, error, ::GetTickCount());
    } else if (how == "thread") {
      ::PostThreadMessageA(::GetWindowThreadProcessId(window, nullptr), message, 0, 0);
    } else {
      ::PostMessageA(window, message, 0, 0);
    }
  }
  return 0;
}

namespace {

BOOL CALLBACK listOne(HWND window, LPARAM processId) {
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  if (owner == static_cast<DWORD>(processId)) {
    char className[256] = {};
    char title[1024] = {};
    ::GetClassNameA(window, className, sizeof className);
    ::GetWindowTextA(window, title, sizeof title);
    say("window %d %d %s %s", ::IsWindowVisible(window) ? 1 : 0, ::IsIconic(window) ? 1 : 0,
        toHex(className).c_str(), toHex(title).c_str());
  }
  return TRUE;
}

}  // namespace

int listWindows(const Words& words) {
  ::EnumWindows(listOne, static_cast<LPARAM>(words.number(0)));
  return 0;
}

int watchExit(const Words& words) {
  const HANDLE process = ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                                       static_cast<DWORD>(words.number(0)));
  if (process == nullptr) {
    say("missing");
    return 1;
  }
  say("watching");
  // Unbounded: the driver ends this watch with its test.
  ::WaitForSingleObject(process, INFINITE);
  DWORD code = 0;
  ::GetExitCodeProcess(process, &code);
  ::CloseHandle(process);
  say("exit %lu", code);
  return 0;
}

int sendCtrlC(const Words& words) {
  // A process is on one console at most: this one's own goes first.
  ::FreeConsole();
  const DWORD processId = static_cast<DWORD>(words.number(0));
  if (!::AttachConsole(processId)) {
    say("not-sent attach %lu", ::GetLastError());
    return 1;
  }
  // On that console this helper gets the event too; it must outlive it to report.
  ::SetConsoleCtrlHandler(/*HandlerRoutine=*/nullptr, /*Add=*/TRUE);
  const BOOL sent = ::GenerateConsoleCtrlEvent(CTRL_C_EVENT, /*dwProcessGroupId=*/processId);
  const DWORD error = ::GetLastError();
  ::FreeConsole();
  if (!sent) {
    say("not-sent send %lu", error);
    return 1;
  }
  say("sent");
  return 0;
}

}  // namespace zeltra::helpers
