// The check's own window to record: a popup (no frame, so no invisible
// borders: its rectangle is exactly what it paints) showing the test picture
// with its bar moving, on a thread of its own so that it keeps moving while
// the check waits for other things. Windows only.
#pragma once

#include <windows.h>

#include <string>

#include "platform/scoped_handle.h"

namespace zeltra::check {

class TestWindow {
 public:
  TestWindow() = default;
  ~TestWindow();  // closes the window and ends its thread
  TestWindow(const TestWindow&) = delete;
  TestWindow& operator=(const TestWindow&) = delete;

  // Shows it, without taking the focus, and returns once it has painted;
  // false when it could not be created.
  bool open(const std::string& title, RECT placement);
  // Its rectangle on the screen, as the launcher will measure it.
  RECT rectangle() const;

 private:
  static DWORD WINAPI run(void* self);

  std::string title_;
  RECT placement_{};
  HWND window_ = nullptr;
  bool created_ = false;
  ScopedHandle ready_;
  ScopedHandle thread_;
};

}  // namespace zeltra::check
