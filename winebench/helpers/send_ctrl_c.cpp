// Presses Ctrl+C on another process's console, as a person at that console
// would: attaches to it and sends the event to the process group that the
// process leads. Windows would take group 0 for every process on the
// console; Wine takes it for the sender's own group alone, so the program is
// started in a group of its own (run_verbatim --console) and named here.
// Usage: send_ctrl_c <pid>
// Prints "sent", or "not-sent <step> <error>" (attach or send).
#include <windows.h>

#include "helper_text.h"

int main(int argc, char** argv) {
  using zeltra::helpers::say;
  if (argc < 2) {
    say("usage: send_ctrl_c <pid>");
    return 2;
  }
  // A process is on one console at most: this one's own goes first.
  ::FreeConsole();
  const DWORD processId = static_cast<DWORD>(zeltra::helpers::toNumber(argv[1]));
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
