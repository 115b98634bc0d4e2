// Waits for a process to end and reports its exit code.
// Usage: process_exit <pid>
// Prints "exit <code>", or "missing" when there is no such process.
#include <windows.h>

#include "helper_text.h"

int main(int argc, char** argv) {
  using zeltra::helpers::say;
  if (argc < 2) {
    say("usage: process_exit <pid>");
    return 2;
  }
  const HANDLE process = ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                                       static_cast<DWORD>(zeltra::helpers::toNumber(argv[1])));
  if (process == nullptr) {
    say("missing");
    return 1;
  }
  say("watching");
  ::WaitForSingleObject(process, INFINITE);
  DWORD code = 0;
  ::GetExitCodeProcess(process, &code);
  ::CloseHandle(process);
  say("exit %lu", code);
  return 0;
}
