// Fuzzes the capture region with properties any right answer has, without
// working the answer out again: where the window shows on the virtual screen
// the region lies inside both, begins at the window's or the screen's edge,
// has sizes that are multiples of 4, and is maximal (4 more pixels would leave
// the window or the screen); where it does not show, the size is zero or
// below. The texts read back exactly.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "launcher/capture_region.h"
#include "launcher/decimal_text.h"
#include "tests/fuzz/require.h"

namespace {

// Coordinates within +-2^30: far beyond any desktop, and clear of overflow.
int32_t coordinate(const uint8_t*& data, size_t& size) {
  uint32_t raw = 0;
  const size_t n = size < sizeof raw ? size : sizeof raw;
  std::memcpy(&raw, data, n);
  data += n;
  size -= n;
  return static_cast<int32_t>(raw % (2u << 30)) - (1 << 30);
}

// One axis of the region: from (origin, size), against the window's edges
// [low, high) and the screen's [screenLow, screenLow + screenSize).
void checkAxis(int64_t origin, int64_t size, int64_t low, int64_t high, int64_t screenLow,
               int64_t screenSize) {
  const int64_t screenHigh = screenLow + screenSize;
  require(size % 4 == 0);
  require(origin >= low && origin >= screenLow);
  require(origin == low || origin == screenLow);
  const bool shows = low < screenHigh && high > screenLow && low < high && screenSize > 0;
  if (!shows) {
    require(size <= 0);
    return;
  }
  require(size >= 0);
  require(origin + size <= high && origin + size <= screenHigh);
  require(origin + size + 4 > high || origin + size + 4 > screenHigh);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const zeltra::Rect window{coordinate(data, size), coordinate(data, size), coordinate(data, size),
                            coordinate(data, size)};
  const zeltra::VirtualScreen screen{coordinate(data, size), coordinate(data, size),
                                     coordinate(data, size), coordinate(data, size)};
  const zeltra::CaptureRegion region = zeltra::clipCaptureRegion(window, screen);

  checkAxis(region.left, region.width, window.left, window.right, screen.x, screen.width);
  checkAxis(region.top, region.height, window.top, window.bottom, screen.y, screen.height);

  for (const int64_t value : {region.left, region.top, region.width, region.height}) {
    const std::string text = zeltra::formatDecimal(value);
    require(std::stoll(text) == value && text == std::to_string(value));
  }
  return 0;
}
