// Fuzzes the capture region: for any window rectangle and virtual screen the
// clipped edges respect the screen's limits as the clip defines them, the
// offsets are the clipped left and top, the sizes are the clipped differences
// rounded toward zero to multiples of 4, and the texts read back exactly.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "launcher/capture_region.h"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

// Coordinates within +-2^30: far beyond any desktop, and clear of overflow.
int32_t coordinate(const uint8_t*& data, size_t& size) {
  uint32_t raw = 0;
  const size_t n = size < sizeof raw ? size : sizeof raw;
  std::memcpy(&raw, data, n);
  data += n;
  size -= n;
  return static_cast<int32_t>(raw % (2u << 30)) - (1 << 30);
}

int64_t roundedTowardZero(int64_t size) {
  const int64_t magnitude = size < 0 ? -size : size;
  const int64_t rounded = magnitude / 4 * 4;
  return size < 0 ? -rounded : rounded;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const zeltra::Rect window{coordinate(data, size), coordinate(data, size), coordinate(data, size),
                            coordinate(data, size)};
  const zeltra::VirtualScreen screen{coordinate(data, size), coordinate(data, size),
                                     coordinate(data, size), coordinate(data, size)};
  const zeltra::CaptureRegion region = zeltra::clipCaptureRegion(window, screen);

  const int64_t left = region.left;
  const int64_t top = region.top;
  require(left >= screen.x && top >= screen.y);
  require(left == (window.left < screen.x ? screen.x : window.left));
  require(top == (window.top < screen.y ? screen.y : window.top));
  const int64_t right = std::min<int64_t>(window.right, int64_t{screen.x} + screen.width);
  const int64_t bottom = std::min<int64_t>(window.bottom, int64_t{screen.y} + screen.height);
  require(region.width == roundedTowardZero(right - left));
  require(region.height == roundedTowardZero(bottom - top));
  require(region.width % 4 == 0 && region.height % 4 == 0);

  for (const int64_t value : {region.left, region.top, region.width, region.height}) {
    const std::string text = zeltra::formatDecimal(value);
    require(std::stoll(text) == value && text == std::to_string(value));
  }
  return 0;
}
