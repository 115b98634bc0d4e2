// The test window's picture, defined once: the check's test window and the
// Wine bench's target window paint it, and the check reads a recording back
// against it.
//
// Four quadrants of distinct colours, checkered with black in 16-pixel cells,
// a white square in the centre, and, for something moving, a magenta bar of
// 24 pixels sweeping from left to right, 6 pixels a step.
#pragma once

#include <cstdint>

namespace zeltra::check {

struct Colour {
  uint8_t r = 0;
  uint8_t g = 0;
  uint8_t b = 0;
};

inline constexpr int kPictureCell = 16;
inline constexpr int kBarWidth = 24;
inline constexpr int kBarStep = 6;
inline constexpr Colour kBarColour{255, 0, 255};
inline constexpr Colour kQuadrantColours[4] = {
    {220, 40, 40}, {40, 200, 60}, {50, 80, 230}, {240, 220, 40}};

// The still picture's colour at pixel (x, y) of a window of that size.
Colour pictureColourAt(int x, int y, int width, int height);

// The left edge of the moving bar after that many steps.
int barLeftAt(int step, int width);

// Whether a pixel is the bar's magenta (loosely: it comes back compressed).
bool looksLikeBar(Colour pixel);

}  // namespace zeltra::check
