// Waiting for the target window, which the launcher may be started before.
#include "launcher/target_wait.h"

#include <algorithm>

#include "launcher/diagnostics.h"

namespace zeltra {
namespace {

// A new window is usually seen at once through the window watch; this slow
// poll is only the fallback for a change the watch does not report (a window
// of a process that the watch cannot see, a window uncloaked, a restore that
// Wine does not announce, say), so it is kept rare to keep an idle wait nearly
// free.
constexpr uint32_t kFallbackPollMs = 1000;
// A window is mostly created hidden and shown a moment later. Windows
// announces the showing; Wine 8 announces only the creation, so there the
// launcher would see the window shown only at the next slow poll. Once a
// window with the title is seen not shown, it looks again briskly for a
// while (100 looks, 0.5 s; a look costs well under a millisecond), then falls
// back to the slow poll. An absent window, the idle wait, costs nothing more.
constexpr uint32_t kBriskPollMs = 5;
constexpr int kBriskLooks = 100;

// What keeps a window with the title from being recorded, as the diagnostic
// line words it; empty while no window has the title.
const char* notShownReason(WindowShowing showing) {
  switch (showing) {
    case WindowShowing::kHidden:
      return "hidden";
    case WindowShowing::kMinimized:
      return "minimized";
    case WindowShowing::kCloaked:
      return "cloaked (kept off the screen, as on another virtual desktop)";
    case WindowShowing::kNone:
    case WindowShowing::kShown:
      break;
  }
  return "";
}

}  // namespace

WindowShowing classifyWindow(const FoundWindow& window) {
  if (!window.visible) return WindowShowing::kHidden;
  if (window.minimized) return WindowShowing::kMinimized;
  if (window.cloaked) return WindowShowing::kCloaked;
  return WindowShowing::kShown;
}

ShownWindowSearch findShownWindow(const std::vector<FoundWindow>& windows) {
  ShownWindowSearch search;
  for (const FoundWindow& found : windows) {
    const WindowShowing showing = classifyWindow(found);
    if (showing == WindowShowing::kShown) {
      search.window = found.window;
      search.nearest = showing;
      return search;
    }
    search.nearest = std::max(search.nearest, showing);
  }
  return search;
}

TargetWait locateTargetWindow(Platform& platform, CaptureTarget& target,
                              const std::string& targetTitle) {
  diagnose(platform, "waiting for the window titled \"" + targetTitle + "\"");
  WindowShowing reported = WindowShowing::kNone;
  int briskLooksLeft = 0;
  for (;;) {
    const ShownWindowSearch search = findShownWindow(platform.findWindowsTitled(targetTitle));
    if (search.window != nullptr) {
      target.window = search.window;
      return TargetWait::kFound;
    }
    // Said once per change, not on every wake-up: a hidden window may sit
    // there for as long as its application likes.
    if (search.nearest != reported && search.nearest != WindowShowing::kNone) {
      diagnose(platform, "a window titled \"" + targetTitle + "\" exists but is " +
                             notShownReason(search.nearest) + "; waiting for it to be shown");
      briskLooksLeft = kBriskLooks;
    }
    reported = search.nearest;
    const bool brisk = briskLooksLeft > 0 && search.nearest != WindowShowing::kNone;
    briskLooksLeft = brisk ? briskLooksLeft - 1 : 0;
    // Woken by a window change, a message or the poll's bound alike: each
    // is a reason to look again. A wait that fails is looked past too; the
    // poll's bound keeps it from spinning.
    if (platform.waitForEvent(/*watched=*/nullptr, /*watchWindows=*/true,
                              brisk ? kBriskPollMs : kFallbackPollMs) == Event::kQuit) {
      return TargetWait::kStopped;
    }
  }
}

}  // namespace zeltra
