// Measuring what to record of the target window.
#include "launcher/capture_region.h"

#include <algorithm>

#include "launcher/decimal_text.h"
#include "launcher/diagnostics.h"

namespace zeltra {
namespace {

// The encoder's grabber wants sizes in multiples of 4. "%" truncates toward
// zero, so this rounds toward zero for negative sizes too (-5 gives -4).
int64_t roundTowardZeroToMultipleOf4(int64_t size) { return size - size % 4; }

std::string formatCorners(const Rect& rect) {
  return formatDecimal(rect.left) + "," + formatDecimal(rect.top) + " to " +
         formatDecimal(rect.right) + "," + formatDecimal(rect.bottom);
}

bool sameRect(const Rect& a, const Rect& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

}  // namespace

Rect chooseRecordedRect(const WindowMeasure& measure) {
  // The compositor's bounds are in physical pixels whatever the thread's DPI
  // awareness, while the window rectangle and the virtual screen are scaled
  // unless the thread is per-monitor aware; mixed, they would miss the window.
  if (!measure.perMonitorDpiAware || !measure.visibleFrame) return measure.rect;
  const Rect& frame = *measure.visibleFrame;
  if (frame.right <= frame.left || frame.bottom <= frame.top) return measure.rect;
  return frame;
}

CaptureRegion clipCaptureRegion(const Rect& window, const VirtualScreen& screen) {
  const int64_t screenRight = int64_t{screen.x} + screen.width;
  const int64_t screenBottom = int64_t{screen.y} + screen.height;
  const int64_t left = std::max<int64_t>(window.left, screen.x);
  const int64_t top = std::max<int64_t>(window.top, screen.y);
  const int64_t right = std::min<int64_t>(window.right, screenRight);
  const int64_t bottom = std::min<int64_t>(window.bottom, screenBottom);
  return CaptureRegion{left, top, roundTowardZeroToMultipleOf4(right - left),
                       roundTowardZeroToMultipleOf4(bottom - top)};
}

bool measureCaptureRegion(Platform& platform, CaptureTarget& target) {
  const std::optional<WindowMeasure> measure = platform.measureWindow(target.window);
  if (!measure) {
    return false;
  }
  const Rect recorded = chooseRecordedRect(*measure);
  const CaptureRegion region = clipCaptureRegion(recorded, measure->screen);
  target.offsetX = formatDecimal(region.left);
  target.offsetY = formatDecimal(region.top);
  target.width = formatDecimal(region.width);
  target.height = formatDecimal(region.height);
  target.scalePercent = measure->scalePercent;
  const std::string frame =
      sameRect(recorded, measure->rect) ? "" : ", visible frame " + formatCorners(recorded);
  diagnose(platform, "found the window: rectangle " + formatCorners(measure->rect) + frame +
                         ", capturing " + target.width + "x" + target.height + " at " +
                         target.offsetX + "," + target.offsetY);
  return true;
}

}  // namespace zeltra
