// bench_tool viewer: a debug-output viewer, as another program on the desktop
// would be one: it holds the debug-output buffer with the check's own reader
// and prints what it reads, so the check finds the buffer taken.
// Usage: bench_tool viewer
// Prints "holding" once it has the buffer (or "not-holding <reason>"), then
// "line <pid> <hex text>" for each line read, until it is ended.
// Usage: bench_tool viewer catch-up
// Writes one line itself, to a reader whose handler takes its time, and
// prints "handled" when the reader's catch-up returns with that line handled,
// "missed" when it returns without it, "late" when it gives up.
#include <windows.h>

#include <atomic>
#include <cstring>

#include "bench_tool.h"
#include "check/debug_output_reader.h"

namespace zeltra::helpers {
namespace {

using check::DebugLine;
using check::DebugOutputReader;

constexpr char kMarker[] = "bench_tool viewer catch-up line";

int catchUp() {
  std::atomic<bool> handled{false};
  DebugOutputReader reader([&handled](const DebugLine& line) {
    ::Sleep(500);  // a handler slower than the writer's return
    if (line.text == kMarker) handled = true;
  });
  if (reader.open() != DebugOutputReader::Opening::kOpened) {
    say("not-holding");
    return 1;
  }
  ::OutputDebugStringA(kMarker);
  if (!reader.catchUp()) {
    say("late");
    return 1;
  }
  say(handled ? "handled" : "missed");
  return handled ? 0 : 1;
}

}  // namespace

int viewDebugOutput(const Words& words) {
  if (std::strcmp(words[0], "catch-up") == 0) return catchUp();
  DebugOutputReader reader;
  const auto opening = reader.open();
  if (opening != DebugOutputReader::Opening::kOpened) {
    say("not-holding %d", static_cast<int>(opening));
    return 1;
  }
  say("holding");
  for (;;) {
    ::Sleep(50);
    for (const DebugLine& line : reader.takeLines()) {
      say("line %lu %s", static_cast<unsigned long>(line.processId), toHex(line.text).c_str());
    }
  }
}

}  // namespace zeltra::helpers
