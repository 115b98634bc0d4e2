// The capture region: what of the window is recorded, clipped to the desktop
// and rounded, as the encoder takes it.
#include <gtest/gtest.h>

#include <climits>

#include "launcher/capture_region.h"
#include "tests/unit/desktop.h"

namespace zeltra {
namespace {

TEST(CaptureRegionTest, ClipsToTheVirtualScreenAndRoundsTowardZero) {
  const struct {
    const char* what = nullptr;
    Rect window;
    VirtualScreen screen;
    CaptureRegion region;
  } cases[] = {
      // Across three edges, and inside unaligned: the measuring and launcher tests.
      {"beyond the right edge", {900, 0, 990, 100}, {0, 0, 800, 600}, {900, 0, -100, 100}},
      {"wholly negative", {-500, -400, -100, -50}, {0, 0, 800, 600}, {0, 0, -100, -48}},
      {"-3 and 3 round to 0", {803, 10, 900, 13}, {0, 0, 800, 600}, {803, 10, 0, 0}},
      {"-5 rounds to -4", {805, 0, 900, 7}, {0, 0, 800, 600}, {805, 0, -4, 4}},
      // A monitor left of and above the primary one: the desktop begins at
      // negative coordinates, and so may the region.
      {"negative origin",
       {-1300, -220, -1000, 0},
       {-1280, -200, 2560, 1024},
       {-1280, -200, 280, 200}},
      {"its far edge", {1000, 700, 1400, 900}, {-1280, -200, 2560, 1024}, {1000, 700, 280, 124}},
      // The far edges, origin plus size, lie beyond 32 bits here.
      {"no overflow",
       {0, 0, INT32_MAX, INT32_MAX},
       {1, 1, INT32_MAX, INT32_MAX},
       {1, 1, 2147483644, 2147483644}},
  };
  for (const auto& c : cases) {
    const CaptureRegion region = clipCaptureRegion(c.window, c.screen);
    EXPECT_EQ(region.left, c.region.left) << c.what;
    EXPECT_EQ(region.top, c.region.top) << c.what;
    EXPECT_EQ(region.width, c.region.width) << c.what;
    EXPECT_EQ(region.height, c.region.height) << c.what;
  }
}

TEST(CaptureRegionTest, TheVisibleFrameOnlyWherePerMonitorAwareAndNotEmpty) {
  const Rect rect{93, 80, 510, 388};    // with Windows 10's invisible borders
  const Rect frame{100, 80, 503, 381};  // the window as it shows
  const struct {
    const char* what = nullptr;
    bool perMonitorAware = false;
    std::optional<Rect> frame;
    Rect recorded;
  } cases[] = {
      {"the frame", true, frame, frame},
      {"not per-monitor aware: scaled rect, physical frame", false, frame, rect},
      {"no compositor", true, std::nullopt, rect},
      {"empty across", true, Rect{100, 80, 100, 381}, rect},
      {"inverted down", true, Rect{100, 381, 503, 80}, rect},
      {"inverted across", true, Rect{503, 80, 100, 381}, rect},
  };
  for (const auto& c : cases) {
    const Rect chosen = chooseRecordedRect({rect, c.frame, {0, 0, 1280, 800}, c.perMonitorAware});
    EXPECT_EQ(std::make_tuple(chosen.left, chosen.top, chosen.right, chosen.bottom),
              std::make_tuple(c.recorded.left, c.recorded.top, c.recorded.right, c.recorded.bottom))
        << c.what;
  }
}

TEST(CaptureRegionTest, MeasuringFillsTheTextsAndSaysWhatItFound) {
  testing::Desktop desktop;
  desktop.screen = {0, 0, 800, 600};
  CaptureTarget target;
  target.window = desktop.addWindow("Demo", {-8, 10, 803, 611});
  ASSERT_TRUE(measureCaptureRegion(desktop, target));
  EXPECT_EQ(target.offsetX + "," + target.offsetY + " " + target.width + "x" + target.height,
            "0,10 800x588");
  EXPECT_EQ(desktop.said.back(),
            "found the window: rectangle -8,10 to 803,611, capturing 800x588 at 0,10");

  desktop.window(target.window).frame = Rect{0, 16, 795, 603};
  ASSERT_TRUE(measureCaptureRegion(desktop, target));
  EXPECT_EQ(desktop.said.back(),
            "found the window: rectangle -8,10 to 803,611, visible frame 0,16 to 795,603, "
            "capturing 792x584 at 0,16");

  // Named wherever the frame differs from the rectangle, on any one side.
  for (const Rect frame : {Rect{-9, 10, 803, 611}, Rect{-8, 11, 803, 611}, Rect{-8, 10, 802, 611},
                           Rect{-8, 10, 803, 612}}) {
    desktop.window(target.window).frame = frame;
    ASSERT_TRUE(measureCaptureRegion(desktop, target));
    EXPECT_NE(desktop.said.back().find(", visible frame "), std::string::npos) << frame.left;
  }
  desktop.window(target.window).exists = false;
  const std::string width = target.width;
  EXPECT_FALSE(measureCaptureRegion(desktop, target));
  EXPECT_EQ(target.width, width) << "left alone";
}

}  // namespace
}  // namespace zeltra
