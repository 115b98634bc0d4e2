// The wait for the target window: as long as it takes, with the control
// window answerable meanwhile, until a window with the title is shown.
//
// Applications often create their main window hidden at a default place and
// restore their saved placement before showing it, and minimized or cloaked
// windows are not where they will be seen, so a window that merely exists is
// not yet the one to measure. Of several shown, the first in z-order.
#pragma once

#include <string>
#include <vector>

#include "launcher/capture_region.h"
#include "platform/platform.h"

namespace zeltra {

// Why a window with the title is not recorded yet, from furthest to nearest
// to being shown.
enum class WindowShowing { kNone, kHidden, kMinimized, kCloaked, kShown };

WindowShowing classifyWindow(const FoundWindow& window);

struct ShownWindowSearch {
  WindowHandle window = nullptr;  // the first shown window with the title, or null
  // Without one, the nearest to being shown of the others; kNone when the
  // title belongs to no window at all.
  WindowShowing nearest = WindowShowing::kNone;
};

// Of the windows with the title, topmost first: the first shown.
ShownWindowSearch findShownWindow(const std::vector<FoundWindow>& windows);

enum class TargetWait { kFound, kStopped };

// Waits, with no time limit, until a top-level window titled targetTitle is
// shown and stores it in target.window. Messages are served meanwhile;
// returns kStopped when the quit was taken (a stop request ends it).
TargetWait locateTargetWindow(Platform& platform, CaptureTarget& target,
                              const std::string& targetTitle);

}  // namespace zeltra
