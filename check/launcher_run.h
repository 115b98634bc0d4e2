// The launcher, started and stopped as callers start and stop it. The one
// place where the check meets the caller's side of the launcher, so that a
// change there touches this file alone. Windows only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace zeltra::check {

class LauncherRun {
 public:
  virtual ~LauncherRun() = default;

  // The launcher's process id.
  virtual uint32_t processId() const = 0;
  // Whether the launcher's control window exists.
  virtual bool controlWindowPresent() const = 0;
  // Sends the stop message to the control window; false when there was none.
  virtual bool requestStop() = 0;
  // True once the launcher has exited, with its exit code.
  virtual bool exited(uint32_t& exitCode) const = 0;
  // Ends the launcher at once, and every ffmpeg.exe it started.
  virtual void end() = 0;
};

// Starts the launcher at launcherPath to record the window titled title into
// outputPath. Null when it could not be started.
std::unique_ptr<LauncherRun> startLauncherRun(const std::string& launcherPath,
                                              const std::string& title,
                                              const std::string& outputPath);

}  // namespace zeltra::check
