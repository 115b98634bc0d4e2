// The outer edge of a recorded frame, held against what lay behind the
// recorded window: a recording of a window's visible frame holds none of it,
// one of its whole rectangle (with the borders Windows 10 and 11 draw
// invisibly) shows it in a strip along the left, right and bottom.
#pragma once

#include <string_view>

#include "check/test_picture.h"

namespace zeltra::check {

// The rows and columns at each side that must hold none of the backdrop.
inline constexpr int kEdgeBand = 2;

// How many pixels of one RGB frame (three bytes a pixel, row by row) in its
// outer band rows and columns look like colour. A square of side corner at
// each corner is left out: Windows 11 rounds a window's corners and shows
// what lies behind there.
int countEdgePixelsLike(std::string_view rgbFrame, int width, int height, Colour colour, int band,
                        int corner);

}  // namespace zeltra::check
