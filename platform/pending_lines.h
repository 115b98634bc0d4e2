// Lines for an outlet that must never block the launcher's one thread, such
// as a pipe its caller may not be reading: what the outlet does not take now
// waits for the next line, and past a bound new lines are dropped whole, so
// that the reader never sees two lines run into each other. Pure.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

namespace zeltra {

class PendingLines {
 public:
  // How many bytes the outlet took, at most `size`; none where it is gone.
  using Outlet = std::function<std::optional<size_t>(const char* data, size_t size)>;

  PendingLines(Outlet outlet, size_t boundBytes)
      : outlet_(std::move(outlet)), boundBytes_(boundBytes) {}

  // Queues the line where it fits beside what still waits, then hands the
  // outlet all it takes.
  void add(const std::string& line) {
    if (gone_) return;
    if (waiting_.size() + line.size() <= boundBytes_) waiting_ += line;
    flush();
  }

  void flush() {
    while (!gone_ && !waiting_.empty()) {
      const std::optional<size_t> taken = outlet_(waiting_.data(), waiting_.size());
      if (!taken) {
        gone_ = true;  // a reader that closed its end reads nothing more
        waiting_.clear();
      } else if (*taken == 0) {
        return;  // full: the rest waits for the reader
      } else {
        waiting_.erase(0, *taken);
      }
    }
  }

 private:
  Outlet outlet_;
  size_t boundBytes_;
  std::string waiting_;
  bool gone_ = false;
};

}  // namespace zeltra
