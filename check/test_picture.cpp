// The test picture's one definition (see test_picture.h).
#include "check/test_picture.h"

namespace zeltra::check {

Colour pictureColourAt(int x, int y, int width, int height) {
  const int side = (width < height ? width : height) / 4;
  const int centreX = width / 2;
  const int centreY = height / 2;
  if (x >= centreX - side / 2 && x < centreX + side / 2 && y >= centreY - side / 2 &&
      y < centreY + side / 2) {
    return Colour{255, 255, 255};
  }
  if ((x / kPictureCell + y / kPictureCell) % 2 == 1) return Colour{0, 0, 0};
  return kQuadrantColours[(y >= centreY ? 2 : 0) + (x >= centreX ? 1 : 0)];
}

int barLeftAt(int step, int width) {
  // The bar stays whole inside the window: it wraps before its right edge leaves.
  const int span = width > kBarWidth ? width - kBarWidth : 1;
  return (step * kBarStep) % span;
}

bool looksLikeBar(Colour pixel) { return pixel.r > 200 && pixel.g < 80 && pixel.b > 200; }

}  // namespace zeltra::check
