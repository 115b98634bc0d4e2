// Walking the windows with the target's title in z-order, topmost first.
#include "launcher/shown_window.h"

#include <algorithm>

namespace zeltra {
namespace {

// A bound on the walk, not a limit anyone meets: the walk ends at the last
// window with the title, but windows reordered while it runs could send it
// round again. At the bound this look finds nothing and the wait looks again.
constexpr int kMostWindowsWithOneTitle = 1024;

}  // namespace

WindowShowing classifyWindow(const WindowState& state) {
  if (!state.visible) return WindowShowing::kHidden;
  if (state.minimized) return WindowShowing::kMinimized;
  if (state.cloaked) return WindowShowing::kCloaked;
  return WindowShowing::kShown;
}

ShownWindowSearch findShownWindow(Platform& platform, const std::string& title) {
  ShownWindowSearch search;
  WindowHandle window = platform.findTopLevelWindow(title, /*after=*/nullptr);
  for (int seen = 0; window != nullptr && seen < kMostWindowsWithOneTitle; ++seen) {
    const WindowShowing showing = classifyWindow(platform.readWindowState(window));
    if (showing == WindowShowing::kShown) {
      search.window = window;
      search.nearest = showing;
      return search;
    }
    search.nearest = std::max(search.nearest, showing);
    window = platform.findTopLevelWindow(title, /*after=*/window);
  }
  return search;
}

}  // namespace zeltra
