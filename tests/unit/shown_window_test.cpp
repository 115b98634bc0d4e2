#include "launcher/shown_window.h"
#include "launcher/target_wait.h"

#include <gtest/gtest.h>

#include "tests/unit/fake_platform.h"

namespace zeltra {
namespace {

using testing::FakePlatform;

constexpr WindowState kShown{true, false, false};
constexpr WindowState kHidden{false, false, false};
constexpr WindowState kMinimized{true, true, false};
constexpr WindowState kCloaked{true, false, true};
// IsIconic holds for a hidden minimized window too: hidden comes first.
constexpr WindowState kHiddenMinimized{false, true, false};

const WindowHandle kTop = reinterpret_cast<WindowHandle>(0x3101);
const WindowHandle kMiddle = reinterpret_cast<WindowHandle>(0x3102);
const WindowHandle kBottom = reinterpret_cast<WindowHandle>(0x3103);
const WindowHandle kTarget = FakePlatform::kTargetWindow;

std::string waitingLine(const std::string& reason) {
  return "ZELTRA_ScreenTool: a window titled \"Demo\" exists but is " + reason +
         "; waiting for it to be shown\n";
}

// One window with the title, in successive states, looked at after each wake.
struct WaitCase {
  const char* name;
  std::deque<WindowHandle> lookups;  // what each look finds first; then the window
  std::deque<WindowState> states;    // the window's state at each look that finds it
  int wakes;                         // before it is taken
  std::vector<std::string> said;     // after the first line, in order
};

void PrintTo(const WaitCase& c, std::ostream* os) { *os << c.name; }

class ShownWaitTest : public ::testing::TestWithParam<WaitCase> {};

TEST_P(ShownWaitTest, WaitsUntilTheWindowIsShownAndSaysWhyOncePerChange) {
  const WaitCase& c = GetParam();
  FakePlatform platform;
  platform.lookupResults = c.lookups;
  platform.windowStates[FakePlatform::kTargetWindow] = c.states;
  CaptureTarget target;
  ASSERT_EQ(locateTargetWindow(platform, target, "Demo"), TargetWait::kFound);
  EXPECT_EQ(target.window, FakePlatform::kTargetWindow);
  EXPECT_EQ(platform.count("waitForMessageOrWindowChange"), c.wakes);
  const std::vector<std::string> said(platform.diagnostics.begin() + 1, platform.diagnostics.end());
  EXPECT_EQ(said, c.said);
}

INSTANTIATE_TEST_SUITE_P(
    States, ShownWaitTest,
    ::testing::Values(
        WaitCase{"ShownAtOnce", {}, {kShown}, 0, {}},
        WaitCase{
            "HiddenThenShown", {}, {kHidden, kHidden, kHidden, kShown}, 3, {waitingLine("hidden")}},
        WaitCase{"MinimizedThenRestored",
                 {},
                 {kMinimized, kMinimized, kShown},
                 2,
                 {waitingLine("minimized")}},
        WaitCase{"CloakedThenUncloaked",
                 {},
                 {kCloaked, kShown},
                 1,
                 {waitingLine("cloaked (kept off the screen, as on another virtual desktop)")}},
        WaitCase{"HiddenAndMinimizedIsHidden",
                 {},
                 {kHiddenMinimized, kShown},
                 1,
                 {waitingLine("hidden")}},
        WaitCase{"EachChangeSaidOnce",
                 {},
                 {kHidden, kHidden, kMinimized, kMinimized, kShown},
                 4,
                 {waitingLine("hidden"), waitingLine("minimized")}},
        // Gone and back counts as a change; while gone nothing more is said.
        WaitCase{"GoneAndBackIsSaidAgain",
                 {kTarget, nullptr, nullptr, kTarget},
                 {kHidden, kHidden, kShown},
                 4,
                 {waitingLine("hidden"), waitingLine("hidden")}}),
    [](const ::testing::TestParamInfo<WaitCase>& info) { return info.param.name; });

// The waits' bounds in order: "5" for a brisk look, "1000" for the slow poll.
std::vector<std::string> waitBounds(const FakePlatform& platform) {
  std::vector<std::string> bounds;
  const std::string wait = "waitForMessageOrWindowChange ";
  for (const std::string& call : platform.calls) {
    if (call.rfind(wait, 0) == 0) bounds.push_back(call.substr(wait.size()));
  }
  return bounds;
}

TEST(ShownWaitPaceTest, LooksBrisklyForAWhileOnlyAfterAWindowIsSeenNotShown) {
  struct Case {
    const char* name = "";
    std::deque<WindowHandle> lookups;
    std::deque<WindowState> states;
    int brisk = 0;  // waits of 5 ms, first
    int slow = 0;   // then waits of 1000 ms
  };
  const std::deque<WindowState> hiddenLong(106, kHidden);
  const Case cases[] = {
      {"an absent window: the slow poll alone", {nullptr, nullptr, nullptr}, {kShown}, 0, 3},
      {"hidden long: 100 brisk looks, then slow", {}, hiddenLong, 100, 6},
      {"hidden, then gone: slow again",
       {kTarget, kTarget, nullptr, nullptr},
       {kHidden, kHidden, kShown},
       2,
       2},
  };
  for (const Case& c : cases) {
    FakePlatform platform;
    platform.lookupResults = c.lookups;
    std::deque<WindowState> states = c.states;
    states.push_back(kShown);
    platform.windowStates[kTarget] = states;
    CaptureTarget target;
    ASSERT_EQ(locateTargetWindow(platform, target, "Demo"), TargetWait::kFound) << c.name;
    std::vector<std::string> expected(c.brisk, "5");
    expected.insert(expected.end(), c.slow, "1000");
    EXPECT_EQ(waitBounds(platform), expected) << c.name;
  }
}

// Three windows with the title, top to bottom.
struct ZOrderCase {
  const char* name;
  WindowState top, middle, bottom;
  WindowHandle taken;
  WindowShowing nearest;
};

void PrintTo(const ZOrderCase& c, std::ostream* os) { *os << c.name; }

class ZOrderTest : public ::testing::TestWithParam<ZOrderCase> {};

TEST_P(ZOrderTest, TakesTheFirstShownWindowOfTheTitle) {
  const ZOrderCase& c = GetParam();
  FakePlatform platform;
  platform.lookupDefault = kTop;
  platform.nextWithTitle = {{kTop, kMiddle}, {kMiddle, kBottom}};
  platform.windowStates = {{kTop, {c.top}}, {kMiddle, {c.middle}}, {kBottom, {c.bottom}}};
  const ShownWindowSearch search = findShownWindow(platform, "Demo");
  EXPECT_EQ(search.window, c.taken);
  EXPECT_EQ(search.nearest, c.nearest);
}

INSTANTIATE_TEST_SUITE_P(Windows, ZOrderTest,
                         ::testing::Values(ZOrderCase{"TheTopOneWhenShown", kShown, kShown, kShown,
                                                      kTop, WindowShowing::kShown},
                                           ZOrderCase{"PassesAHiddenOneAbove", kHidden, kShown,
                                                      kShown, kMiddle, WindowShowing::kShown},
                                           ZOrderCase{"PassesEveryKindAbove", kMinimized, kCloaked,
                                                      kShown, kBottom, WindowShowing::kShown},
                                           ZOrderCase{"NoneShownGivesTheNearest", kHidden, kCloaked,
                                                      kMinimized, nullptr, WindowShowing::kCloaked},
                                           ZOrderCase{"NoneShownAllHidden", kHidden, kHidden,
                                                      kHidden, nullptr, WindowShowing::kHidden}),
                         [](const ::testing::TestParamInfo<ZOrderCase>& info) {
                           return info.param.name;
                         });

TEST(ShownWindowTest, NoWindowOfTheTitleIsNoneAtAll) {
  FakePlatform platform;
  platform.lookupDefault = nullptr;
  const ShownWindowSearch search = findShownWindow(platform, "Demo");
  EXPECT_EQ(search.window, nullptr);
  EXPECT_EQ(search.nearest, WindowShowing::kNone);
}

TEST(ShownWindowTest, AWalkSentRoundByReorderingEndsAndFindsNothing) {
  FakePlatform platform;
  platform.lookupDefault = kTop;
  platform.nextWithTitle = {{kTop, kMiddle}, {kMiddle, kTop}};
  platform.windowStates = {{kTop, {kHidden}}, {kMiddle, {kHidden}}};
  const ShownWindowSearch search = findShownWindow(platform, "Demo");
  EXPECT_EQ(search.window, nullptr);
  EXPECT_EQ(search.nearest, WindowShowing::kHidden);
}

}  // namespace
}  // namespace zeltra
