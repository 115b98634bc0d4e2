// The capture region: the target window's visible frame, clipped to the
// desktop and rounded, as the encoder takes it (two offsets and a size, in decimal).
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace zeltra {

struct CaptureTarget {
  WindowHandle window = nullptr;
  std::string offsetX;
  std::string offsetY;
  std::string width;
  std::string height;
  int32_t scalePercent = 100;  // the display's scale as the window was measured
};

// The region in numbers. Sizes are 64-bit so that no rectangle, however far
// out, can overflow the subtraction; real desktops stay far inside 32 bits.
struct CaptureRegion {
  int64_t left = 0;
  int64_t top = 0;
  int64_t width = 0;
  int64_t height = 0;
};

// Clips the rectangle to the virtual screen (left and top no less than its
// origin, right and bottom no more than its far edges) and rounds width and
// height toward zero to multiples of 4. An edge beyond the far side is not
// pulled back, so the size can come out zero or negative; it is kept as is.
CaptureRegion clipCaptureRegion(const Rect& window, const VirtualScreen& screen);

// What of the window to record: its visible frame, without the resize
// borders that Windows 10 and later draw invisibly around it (and that a
// maximized window hangs over its monitor's edges), where the compositor
// reports it and this thread works in physical pixels per monitor; else, and
// whenever that frame is empty or inverted, the window's rectangle as it stands.
Rect chooseRecordedRect(const WindowMeasure& measure);

// Fills the four texts of target from target.window. Returns false, leaving
// the texts alone, when the window has gone before it could be measured.
bool measureCaptureRegion(Platform& platform, CaptureTarget& target);

}  // namespace zeltra
