#include "check/frame_edges.h"

#include <gtest/gtest.h>

#include <string>

namespace zeltra::check {
namespace {

constexpr Colour kBackdrop{0, 255, 0};
constexpr Colour kGrey{128, 128, 128};
constexpr int kWidth = 40;
constexpr int kHeight = 30;

std::string frameOf(Colour colour) {
  std::string frame;
  for (int i = 0; i < kWidth * kHeight; ++i)
    frame += {char(colour.r), char(colour.g), char(colour.b)};
  return frame;
}

void paint(std::string& frame, int x, int y, Colour colour) {
  const size_t at = (static_cast<size_t>(y) * kWidth + x) * 3;
  frame[at] = char(colour.r);
  frame[at + 1] = char(colour.g);
  frame[at + 2] = char(colour.b);
}

TEST(FrameEdgesTest, CountsTheBackdropInTheOuterBandOnlyAndOutsideTheCorners) {
  struct Case {
    const char* name = "";
    int x = 0;
    int y = 0;
    Colour colour;
    int expected = 0;
  };
  const Case cases[] = {
      {"second column from the left", 1, 15, kBackdrop, 1},
      {"last column", kWidth - 1, 15, kBackdrop, 1},
      {"second row from the bottom", 20, kHeight - 2, kBackdrop, 1},
      {"top row", 20, 0, kBackdrop, 1},
      {"blurred by compression", 0, 15, Colour{30, 220, 35}, 1},
      {"third column, inside the band", 2, 15, kBackdrop, 0},
      {"in a rounded corner", 1, 1, kBackdrop, 0},
      {"in the bottom right corner", kWidth - 3, kHeight - 3, kBackdrop, 0},
      {"another colour on the edge", 0, 15, Colour{40, 120, 40}, 0},
  };
  for (const Case& c : cases) {
    std::string frame = frameOf(kGrey);
    paint(frame, c.x, c.y, c.colour);
    EXPECT_EQ(countEdgePixelsLike(frame, kWidth, kHeight, kBackdrop, kEdgeBand, /*corner=*/4),
              c.expected)
        << c.name;
  }
}

TEST(FrameEdgesTest, AStripOfBorderAlongThreeSidesIsCountedWhole) {
  // A rectangle with 7 invisible border pixels recorded whole: the backdrop
  // fills the band along the left, right and bottom.
  std::string frame = frameOf(kBackdrop);
  for (int y = 0; y < kHeight - 7; ++y)
    for (int x = 7; x < kWidth - 7; ++x) paint(frame, x, y, kGrey);
  // Left and right: 2 columns of 22 rows between the corners; bottom: 2 rows
  // of 32; top: 2 rows of the 3 strip pixels on either side of the window.
  EXPECT_EQ(countEdgePixelsLike(frame, kWidth, kHeight, kBackdrop, kEdgeBand, /*corner=*/4),
            44 + 44 + 64 + 12);
}

TEST(FrameEdgesTest, AFrameShorterThanItsSizeCountsNothing) {
  EXPECT_EQ(
      countEdgePixelsLike(std::string(30, '\0'), kWidth, kHeight, Colour{0, 0, 0}, kEdgeBand, 4),
      0);
}

}  // namespace
}  // namespace zeltra::check
