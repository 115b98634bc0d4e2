// Painting the test picture (see picture_painter.h).
#include "check/picture_painter.h"

#include <cstdint>
#include <vector>

#include "check/test_picture.h"

namespace zeltra::check {
namespace {

COLORREF toColorRef(Colour c) { return RGB(c.r, c.g, c.b); }

// The picture as a top-down 32-bit bitmap, one pixel at a time from its definition.
void drawPicture(HDC dc, int width, int height) {
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const Colour c = pictureColourAt(x, y, width, height);
      pixels[static_cast<size_t>(y) * width + x] = (c.r << 16) | (c.g << 8) | c.b;
    }
  }
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // negative: the first row is the top one
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  ::SetDIBitsToDevice(dc, 0, 0, width, height, 0, 0, 0, height, pixels.data(), &info,
                      DIB_RGB_COLORS);
}

}  // namespace

PicturePainter::~PicturePainter() {
  if (picture_ == nullptr) return;
  ::SelectObject(picture_, previous_);
  ::DeleteObject(bitmap_);
  ::DeleteDC(picture_);
}

void PicturePainter::paint(HDC dc, int width, int height, int barStep) {
  if (picture_ == nullptr) {
    picture_ = ::CreateCompatibleDC(dc);
    bitmap_ = ::CreateCompatibleBitmap(dc, width, height);
    previous_ = ::SelectObject(picture_, bitmap_);
    drawPicture(picture_, width, height);
  }
  ::BitBlt(dc, 0, 0, width, height, picture_, 0, 0, SRCCOPY);
  if (barStep < 0) return;
  const int left = barLeftAt(barStep, width);
  const RECT bar{left, 0, left + kBarWidth, height};
  const HBRUSH brush = ::CreateSolidBrush(toColorRef(kBarColour));
  ::FillRect(dc, &bar, brush);
  ::DeleteObject(brush);
}

}  // namespace zeltra::check
