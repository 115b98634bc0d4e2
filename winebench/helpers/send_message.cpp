// Sends a message to the top-level window found by class and title, as a
// caller stops the launcher.
// Usage: send_message <hex class> <hex title> <message> [wParam] [lParam] [count] [how]
//   how: post (the default) posts count times;
//        send:<ms> sends count times to the same window with SendMessageTimeout,
//          printing "result <n> <succeeded 0|1> <last error> <tick on return>" for each;
//        thread posts to the window's thread instead (PostThreadMessage).
// Prints "sent <tick>" or "missing", exit code 0 or 1.
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "helper_text.h"

int main(int argc, char** argv) {
  using zeltra::helpers::fromHex;
  using zeltra::helpers::say;
  if (argc < 4) {
    say("usage: send_message <hex class> <hex title> <message> [wParam] [lParam] [count] [how]");
    return 2;
  }
  const std::string className = fromHex(argv[1]);
  const std::string title = fromHex(argv[2]);
  const UINT message = static_cast<UINT>(std::strtoul(argv[3], nullptr, 0));
  const WPARAM wParam = argc > 4 ? static_cast<WPARAM>(std::strtoull(argv[4], nullptr, 0)) : 0;
  const LPARAM lParam = argc > 5 ? static_cast<LPARAM>(std::strtoll(argv[5], nullptr, 0)) : 0;
  const long count = argc > 6 ? std::strtol(argv[6], nullptr, 0) : 1;
  const char* how = argc > 7 ? argv[7] : "post";
  const HWND window = ::FindWindowA(className.c_str(), title.c_str());
  if (window == nullptr) {
    say("missing");
    return 1;
  }
  const DWORD tick = ::GetTickCount();
  say("sent %lu", tick);
  for (long i = 0; i < count; ++i) {
    if (std::strncmp(how, "send:", 5) == 0) {
      DWORD_PTR result = 0;
      ::SetLastError(0);
      const LRESULT ok = ::SendMessageTimeoutA(window, message, wParam, lParam, SMTO_NORMAL,
                                               std::strtoul(how + 5, nullptr, 0), &result);
      const DWORD error = ::GetLastError();
      say("result %ld %d %lu %lu", i + 1, ok != 0 ? 1 : 0, error, ::GetTickCount());
    } else if (std::strcmp(how, "thread") == 0) {
      ::PostThreadMessageA(::GetWindowThreadProcessId(window, nullptr), message, wParam, lParam);
    } else {
      ::PostMessageA(window, message, wParam, lParam);
    }
  }
  return 0;
}
