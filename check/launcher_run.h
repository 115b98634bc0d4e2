// The launcher, started and stopped as callers start and stop it: through
// the caller header. The one place where the check meets that header, so
// that a change of its interface touches this file alone. Windows only.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zeltra::check {

struct LauncherStop {
  bool accepted = false;  // the control window went
  bool exited = false;
  bool endedBeforeStop = false;
  std::optional<uint32_t> acceptedAfterMs;  // counted from the stop's begin
  std::optional<uint32_t> exitedAfterMs;
  std::optional<uint32_t> exitCode;
  bool fileFinished = false;  // this run's file, closed by the encoder
  std::string fileState;      // what became of the file, in words
};

class LauncherRun {
 public:
  virtual ~LauncherRun() = default;

  virtual uint32_t processId() const = 0;
  // Milliseconds from the start to the control window's appearance, waiting
  // at most timeoutMs; nullopt when it did not appear (or the launcher ended).
  virtual std::optional<uint32_t> waitForControlWindow(uint32_t timeoutMs) = 0;
  virtual bool exited() const = 0;
  // Sends the stop and waits, boundedly, for both of its signals.
  virtual LauncherStop stop() = 0;
  // Posts the stop and waits at most 1 s for it to be accepted, without
  // waiting for the file: the launcher sees its encoder through by itself.
  virtual void leave() = 0;
  // Ends the launcher at once, and every ffmpeg.exe it started.
  virtual void end() = 0;
  // The launcher's lines on the standard error the caller header handed it,
  // as the stop read them.
  virtual std::vector<std::string> reasons() const = 0;
};

// Starts the launcher at launcherPath (any characters) to record the window
// titled title into outputPath (texts in the ANSI code page). Null, with the
// reason in whyNot, when it was refused or could not be started.
std::unique_ptr<LauncherRun> startLauncherRun(const std::wstring& launcherPath,
                                              const std::string& title,
                                              const std::string& outputPath, std::string& whyNot);

}  // namespace zeltra::check
