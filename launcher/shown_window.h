// Which of the windows with the target's title is there to be recorded: the
// first in z-order that is shown. Applications often create their main window
// hidden at a default place and restore their saved placement before showing
// it, and minimized or cloaked windows are not where they will be seen, so a
// window that merely exists is not yet the one to measure.
#pragma once

#include <string>

#include "platform/platform.h"

namespace zeltra {

// Why a window with the title is not recorded yet, from furthest to nearest
// to being shown.
enum class WindowShowing { kNone, kHidden, kMinimized, kCloaked, kShown };

WindowShowing classifyWindow(const WindowState& state);

struct ShownWindowSearch {
  WindowHandle window = nullptr;  // the first shown window with the title, or null
  // Without one, the nearest to being shown of the others; kNone when the
  // title belongs to no window at all.
  WindowShowing nearest = WindowShowing::kNone;
};

ShownWindowSearch findShownWindow(Platform& platform, const std::string& title);

}  // namespace zeltra
