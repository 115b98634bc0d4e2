// Waiting for the target window, which the launcher may be started before.
#include "launcher/target_wait.h"

#include "launcher/diagnostics.h"
#include "launcher/message_pump.h"

namespace zeltra {
namespace {

// A new window is usually seen at once through the window watch; this slow
// poll is only the fallback for a change the watch does not report (a window
// of a process that the watch cannot see, say), so it is kept rare to keep an
// idle wait nearly free.
constexpr uint32_t kFallbackPollMs = 1000;

// Scope of the platform's window watch, so every way out of the wait ends it.
class WindowWatch {
 public:
  explicit WindowWatch(Platform& platform) : platform_(platform) { platform_.startWindowWatch(); }
  ~WindowWatch() { platform_.stopWindowWatch(); }
  WindowWatch(const WindowWatch&) = delete;
  WindowWatch& operator=(const WindowWatch&) = delete;

 private:
  Platform& platform_;
};

}  // namespace

TargetWait locateTargetWindow(Platform& platform, CaptureTarget& target,
                              const std::string& targetTitle) {
  diagnose(platform, "waiting for the window titled \"" + targetTitle + "\"");
  WindowWatch watch(platform);
  for (;;) {
    target.window = platform.findTopLevelWindow(targetTitle);
    if (target.window != nullptr) {
      return TargetWait::kFound;
    }
    platform.waitForMessageOrWindowChange(kFallbackPollMs);
    if (servePendingMessages(platform) == PumpResult::kQuitTaken) {
      return TargetWait::kStopped;
    }
  }
}

}  // namespace zeltra
