// A debug-output viewer, as another program on the desktop would be one: it
// holds the debug-output buffer with the check's own reader and prints what
// it reads, so the check finds the buffer taken.
// Usage: debug_viewer
// Prints "holding" once it has the buffer (or "not-holding <reason>"), then
// "line <pid> <hex text>" for each line read, until it is ended.
#include <windows.h>

#include "check/debug_output_reader.h"
#include "helper_text.h"

int main() {
  using zeltra::helpers::say;
  zeltra::check::DebugOutputReader reader;
  const auto opening = reader.open();
  if (opening != zeltra::check::DebugOutputReader::Opening::kOpened) {
    say("not-holding %d", static_cast<int>(opening));
    return 1;
  }
  say("holding");
  for (;;) {
    ::Sleep(50);
    for (const zeltra::check::DebugLine& line : reader.takeLines()) {
      say("line %lu %s", static_cast<unsigned long>(line.processId),
          zeltra::helpers::toHex(line.text).c_str());
    }
  }
}
