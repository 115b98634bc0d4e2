// Lists the top-level windows of one process, to show what it put on screen
// (no error box, say). One line each: window <visible> <iconic> <hex class> <hex title>
// Usage: list_windows <pid>
#include <windows.h>

#include <cstdlib>

#include "helper_text.h"

namespace {

BOOL CALLBACK listOne(HWND window, LPARAM processId) {
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  if (owner == static_cast<DWORD>(processId)) {
    char className[256] = {};
    char title[1024] = {};
    ::GetClassNameA(window, className, sizeof className);
    ::GetWindowTextA(window, title, sizeof title);
    zeltra::helpers::say("window %d %d %s %s", ::IsWindowVisible(window) ? 1 : 0,
                         ::IsIconic(window) ? 1 : 0, zeltra::helpers::toHex(className).c_str(),
                         zeltra::helpers::toHex(title).c_str());
  }
  return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  ::EnumWindows(listOne, static_cast<LPARAM>(std::strtoul(argv[1], nullptr, 0)));
  zeltra::helpers::say("done");
  return 0;
}
