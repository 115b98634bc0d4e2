// Painting the test picture (test_picture.h) into a window. Windows only;
// the check's test window and the Wine bench's target window both use it.
#pragma once

#include <windows.h>

namespace zeltra::check {

class PicturePainter {
 public:
  PicturePainter() = default;
  ~PicturePainter();
  PicturePainter(const PicturePainter&) = delete;
  PicturePainter& operator=(const PicturePainter&) = delete;

  // The still picture, and with barStep >= 0 the moving bar at that step.
  void paint(HDC dc, int width, int height, int barStep);

 private:
  // The still picture is computed once into a bitmap and copied on every
  // frame: computed each time, it would be too slow to animate under Wine.
  HDC picture_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ previous_ = nullptr;
};

}  // namespace zeltra::check
