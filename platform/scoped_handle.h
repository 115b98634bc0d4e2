// Owns a kernel handle; both null and INVALID_HANDLE_VALUE mean "none".
// Shared by the launcher's platform and the machine check.
#pragma once

#include <windows.h>

namespace zeltra {

class ScopedHandle {
 public:
  explicit ScopedHandle(HANDLE handle = nullptr) : handle_(handle) {}
  ~ScopedHandle() { reset(); }
  ScopedHandle(ScopedHandle&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
  ScopedHandle& operator=(ScopedHandle&& other) noexcept {
    if (this != &other) {
      reset();
      handle_ = other.handle_;
      other.handle_ = nullptr;
    }
    return *this;
  }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;

  bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }

 private:
  void reset() {
    if (valid()) ::CloseHandle(handle_);
    handle_ = nullptr;
  }

  HANDLE handle_;
};

}  // namespace zeltra
