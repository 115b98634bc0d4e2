// The lines for the caller's standard error: never blocking, never torn.
#include "platform/pending_lines.h"

#include <gtest/gtest.h>

#include <string>

namespace zeltra {
namespace {

// A pipe of the given room that its reader drains on demand.
struct Pipe {
  explicit Pipe(size_t bytes) : room(bytes) {}
  size_t room;
  bool closed = false;
  std::string read;
  std::string held;
  PendingLines::Outlet outlet() {
    return [this](const char* data, size_t size) -> std::optional<size_t> {
      if (closed) return std::nullopt;
      const size_t taken = std::min(size, room - held.size());
      held.append(data, taken);
      return taken;
    };
  }
  void drain() {
    read += held;
    held.clear();
  }
};

TEST(PendingLinesTest, AFullPipeDelaysWholeLinesAndDropsThosePastTheBound) {
  Pipe pipe(8);
  PendingLines lines(pipe.outlet(), /*boundBytes=*/10);
  lines.add("first\n");
  lines.add("second\n");  // fits partly: the rest waits
  lines.add("third\n");   // beyond the bound beside what waits: dropped
  EXPECT_EQ(pipe.held, "first\nse");
  pipe.drain();
  lines.add("4th\n");
  EXPECT_EQ(pipe.held, "cond\n4th");
  pipe.drain();
  lines.flush();
  pipe.drain();
  EXPECT_EQ(pipe.read, "first\nsecond\n4th\n");
}

TEST(PendingLinesTest, AClosedPipeEndsTheWriting) {
  Pipe pipe(64);
  PendingLines lines(pipe.outlet(), 64);
  lines.add("first\n");
  pipe.closed = true;
  lines.add("second\n");
  pipe.closed = false;
  lines.add("third\n");
  pipe.drain();
  EXPECT_EQ(pipe.read, "first\n");
}

}  // namespace
}  // namespace zeltra
