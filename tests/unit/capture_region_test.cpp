#include "launcher/capture_region.h"
#include "launcher/target_wait.h"

#include <gtest/gtest.h>

#include <climits>
#include <optional>

#include "tests/unit/fake_platform.h"

namespace zeltra {
namespace {

using testing::FakePlatform;

TEST(FormatDecimalTest, WritesDigitsAndMinusOnly) {
  const std::pair<int64_t, const char*> cases[] = {
      {0, "0"},
      {7, "7"},
      {10, "10"},
      {-1, "-1"},
      {-4, "-4"},
      {800, "800"},
      {-100, "-100"},
      {INT32_MAX, "2147483647"},
      {INT32_MIN, "-2147483648"},
      {INT64_MIN, "-9223372036854775808"},
  };
  for (const auto& [value, text] : cases) {
    EXPECT_EQ(formatDecimal(value), text);
  }
}

struct ClipCase {
  const char* name;
  Rect window;
  VirtualScreen screen;
  CaptureRegion expected;
};

void PrintTo(const ClipCase& c, std::ostream* os) { *os << c.name; }

class ClipTest : public ::testing::TestWithParam<ClipCase> {};

TEST_P(ClipTest, ClipsToTheVirtualScreenAndRoundsTowardZero) {
  const ClipCase& c = GetParam();
  const CaptureRegion region = clipCaptureRegion(c.window, c.screen);
  EXPECT_EQ(region.left, c.expected.left);
  EXPECT_EQ(region.top, c.expected.top);
  EXPECT_EQ(region.width, c.expected.width);
  EXPECT_EQ(region.height, c.expected.height);
}

INSTANTIATE_TEST_SUITE_P(
    Rectangles, ClipTest,
    ::testing::Values(
        ClipCase{
            "AcrossLeftRightAndBottom", {-8, 10, 803, 611}, {0, 0, 800, 600}, {0, 10, 800, 588}},
        ClipCase{"InsideAndAligned", {100, 80, 500, 380}, {0, 0, 1280, 800}, {100, 80, 400, 300}},
        ClipCase{"InsideUnaligned", {100, 80, 503, 381}, {0, 0, 1280, 800}, {100, 80, 400, 300}},
        ClipCase{"AcrossTop", {50, -30, 150, 70}, {0, 0, 800, 600}, {50, 0, 100, 68}},
        ClipCase{"BeyondTheRightEdge", {900, 0, 990, 100}, {0, 0, 800, 600}, {900, 0, -100, 100}},
        ClipCase{"WhollyNegative", {-500, -400, -100, -50}, {0, 0, 800, 600}, {0, 0, -100, -48}},
        ClipCase{"RoundsThreeToZero", {10, 10, 13, 17}, {0, 0, 800, 600}, {10, 10, 0, 4}},
        ClipCase{"RoundsMinusThreeToZero", {803, 0, 900, 7}, {0, 0, 800, 600}, {803, 0, 0, 4}},
        ClipCase{"RoundsMinusFiveToMinusFour", {805, 0, 900, 7}, {0, 0, 800, 600}, {805, 0, -4, 4}},
        // A monitor left of and above the primary one: the desktop starts at
        // negative coordinates and the window on it is kept.
        ClipCase{"NegativeOriginKeepsTheLeftMonitor",
                 {-1000, -50, -200, 300},
                 {-1280, -200, 2560, 1024},
                 {-1000, -50, 800, 348}},
        ClipCase{"NegativeOriginClipsAtItsFarEdge",
                 {1000, 700, 1400, 900},
                 {-1280, -200, 2560, 1024},
                 {1000, 700, 280, 124}},
        ClipCase{"NegativeOriginClipsAtItsNearEdge",
                 {-1300, -220, -1000, 0},
                 {-1280, -200, 2560, 1024},
                 {-1280, -200, 280, 200}},
        // The far edges, origin plus size, lie beyond 32 bits here.
        ClipCase{"ExtremesDoNotOverflow",
                 {0, 0, INT32_MAX, INT32_MAX},
                 {1, 1, INT32_MAX, INT32_MAX},
                 {1, 1, 2147483644, 2147483644}}),
    [](const ::testing::TestParamInfo<ClipCase>& info) { return info.param.name; });

class CaptureRegionTest : public ::testing::Test {
 protected:
  FakePlatform platform;
  CaptureTarget target;
  inline static const WindowHandle kTarget = FakePlatform::kTargetWindow;
};

TEST_F(CaptureRegionTest, MeasureSetsTheFourTexts) {
  platform.windowRect = {-8, 10, 803, 611};
  platform.virtualScreen = {0, 0, 800, 600};
  target.window = kTarget;
  ASSERT_TRUE(measureCaptureRegion(platform, target));
  EXPECT_EQ(target.offsetX, "0");
  EXPECT_EQ(target.offsetY, "10");
  EXPECT_EQ(target.width, "800");
  EXPECT_EQ(target.height, "588");
  EXPECT_EQ(platform.diagnostics.back(),
            "ZELTRA_ScreenTool: found the window: rectangle -8,10 to 803,611, capturing 800x588 at "
            "0,10\n");
}

// A restored window at 100% with the invisible borders of Windows 10 and 11:
// 7 px left, right and bottom.
constexpr Rect kRestoredRect{93, 80, 510, 388};
constexpr Rect kRestoredFrame{100, 80, 503, 381};
// Maximized on the lower of two stacked 1920x1080 monitors: the rectangle
// overhangs the monitor by 8 px on every side, at the top into the one above.
constexpr Rect kMaximizedRect{-8, -8, 1928, 1048};
constexpr Rect kMaximizedFrame{0, 0, 1920, 1040};
constexpr VirtualScreen kStackedMonitors{0, -1080, 1920, 2160};

struct FrameCase {
  const char* name;
  bool perMonitorDpiAware;
  std::optional<Rect> visibleFrame;
  Rect windowRect;
  const char* region;  // offsets and size as the encoder gets them
};

void PrintTo(const FrameCase& c, std::ostream* os) { *os << c.name; }

class VisibleFrameTest : public ::testing::TestWithParam<FrameCase> {};

TEST_P(VisibleFrameTest, RecordsTheVisibleFrameWhereItCanElseTheWindowRectangle) {
  const FrameCase& c = GetParam();
  FakePlatform platform;
  platform.perMonitorDpiAware = c.perMonitorDpiAware;
  platform.visibleFrame = c.visibleFrame;
  platform.windowRect = c.windowRect;
  platform.virtualScreen = kStackedMonitors;
  CaptureTarget target;
  target.window = FakePlatform::kTargetWindow;
  ASSERT_TRUE(measureCaptureRegion(platform, target));
  EXPECT_EQ(target.offsetX + "," + target.offsetY + " " + target.width + "x" + target.height,
            c.region);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, VisibleFrameTest,
    ::testing::Values(FrameCase{"RestoredWithoutItsBorders", true, kRestoredFrame, kRestoredRect,
                                "100,80 400x300"},
                      FrameCase{"MaximizedWithoutItsOverhang", true, kMaximizedFrame,
                                kMaximizedRect, "0,0 1920x1040"},
                      // Where the thread is not per-monitor aware the compositor's physical
                      // pixels would not match the scaled screen: the rectangle as it is.
                      FrameCase{"NotPerMonitorAwareTakesTheRectangle", false, kMaximizedFrame,
                                kMaximizedRect, "0,-8 1920x1056"},
                      FrameCase{"NoFrameReportedTakesTheRectangle", true, std::nullopt,
                                kRestoredRect, "93,80 416x308"},
                      FrameCase{"AnEmptyFrameTakesTheRectangle", true, Rect{100, 80, 100, 80},
                                kRestoredRect, "93,80 416x308"},
                      FrameCase{"AnInvertedFrameTakesTheRectangle", true, Rect{503, 381, 100, 80},
                                kRestoredRect, "93,80 416x308"},
                      FrameCase{"AFrameWithoutWidthTakesTheRectangle", true,
                                Rect{100, 80, 100, 381}, kRestoredRect, "93,80 416x308"},
                      FrameCase{"AFrameWithoutHeightTakesTheRectangle", true,
                                Rect{100, 80, 503, 80}, kRestoredRect, "93,80 416x308"},
                      FrameCase{"AFrameInvertedInWidthAloneTakesTheRectangle", true,
                                Rect{503, 80, 100, 381}, kRestoredRect, "93,80 416x308"},
                      FrameCase{"AFrameInvertedInHeightAloneTakesTheRectangle", true,
                                Rect{100, 381, 503, 80}, kRestoredRect, "93,80 416x308"}),
    [](const ::testing::TestParamInfo<FrameCase>& info) { return info.param.name; });

TEST_F(CaptureRegionTest, MeasureGivesBothRectanglesWhenTheyDiffer) {
  platform.visibleFrame = kRestoredFrame;
  platform.windowRect = kRestoredRect;
  target.window = kTarget;
  ASSERT_TRUE(measureCaptureRegion(platform, target));
  EXPECT_EQ(platform.diagnostics.back(),
            "ZELTRA_ScreenTool: found the window: rectangle 93,80 to 510,388, visible frame "
            "100,80 to 503,381, capturing 400x300 at 100,80\n");
  platform.visibleFrame = kRestoredRect;
  ASSERT_TRUE(measureCaptureRegion(platform, target));
  EXPECT_EQ(platform.diagnostics.back(),
            "ZELTRA_ScreenTool: found the window: rectangle 93,80 to 510,388, capturing 416x308 at "
            "93,80\n");
}

TEST_F(CaptureRegionTest, MeasureNamesTheVisibleFrameWhereverOneSideDiffers) {
  platform.windowRect = kRestoredRect;
  target.window = kTarget;
  // Each side in turn, inward and outward.
  for (const Rect& frame : {Rect{100, 80, 510, 388}, Rect{93, 88, 510, 388}, Rect{93, 80, 503, 388},
                            Rect{93, 80, 510, 381}, Rect{90, 80, 510, 388}, Rect{93, 77, 510, 388},
                            Rect{93, 80, 513, 388}, Rect{93, 80, 510, 391}}) {
    platform.visibleFrame = frame;
    ASSERT_TRUE(measureCaptureRegion(platform, target));
    EXPECT_NE(platform.diagnostics.back().find(", visible frame "), std::string::npos)
        << platform.diagnostics.back();
  }
}

TEST_F(CaptureRegionTest, MeasureOfAVanishedWindowLeavesTheTextsAlone) {
  platform.rectResults = {std::nullopt};
  target.window = kTarget;
  EXPECT_FALSE(measureCaptureRegion(platform, target));
  EXPECT_EQ(target.width, "");
  EXPECT_EQ(target.offsetX, "");
}

TEST_F(CaptureRegionTest, WaitLooksAgainAfterEachWakeUntilTheWindowExists) {
  platform.lookupResults = {nullptr, nullptr, nullptr, kTarget};
  EXPECT_EQ(locateTargetWindow(platform, target, "Demo"), TargetWait::kFound);
  EXPECT_EQ(target.window, kTarget);
  EXPECT_EQ(platform.count("findTopLevelWindow"), 4);
  // It sleeps between looks instead of spinning, and only while watching.
  EXPECT_EQ(platform.count("waitForMessageOrWindowChange"), 3);
  EXPECT_EQ(platform.count("startWindowWatch"), 1);
  EXPECT_EQ(platform.watchesOpen, 0);
  EXPECT_EQ(platform.calls.front(), "writeDiagnostic");
  EXPECT_EQ(platform.diagnostics.front(),
            "ZELTRA_ScreenTool: waiting for the window titled \"Demo\"\n");
}

TEST_F(CaptureRegionTest, WaitServesMessagesThatArriveMeanwhile) {
  const Message other{FakePlatform::kControlWindow, 0x000F /* WM_PAINT */, 0, 0};
  platform.deliverAfter("findTopLevelWindow", other, 2);
  platform.lookupResults = {nullptr, nullptr, kTarget};
  EXPECT_EQ(locateTargetWindow(platform, target, "Demo"), TargetWait::kFound);
  ASSERT_EQ(platform.dispatched.size(), 1u);
  EXPECT_EQ(platform.dispatched[0].message, 0x000Fu);
}

TEST_F(CaptureRegionTest, WaitEndsWhenAQuitIsTaken) {
  platform.lookupDefault = nullptr;
  platform.deliverAfter("findTopLevelWindow", Message{nullptr, 0x0012, 0, 0}, 5);
  EXPECT_EQ(locateTargetWindow(platform, target, "Never"), TargetWait::kStopped);
  EXPECT_EQ(platform.count("findTopLevelWindow"), 5);
  EXPECT_EQ(platform.watchesOpen, 0);
}

}  // namespace
}  // namespace zeltra
