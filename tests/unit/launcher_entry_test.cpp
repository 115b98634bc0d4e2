#include "launcher/launcher_entry.h"

#include <gtest/gtest.h>

#include "launcher/windows_constants.h"
#include "tests/unit/fake_platform.h"

namespace zeltra {
namespace {

using testing::FakePlatform;
using testing::stopMessage;

InstanceHandle const kInstance = reinterpret_cast<InstanceHandle>(0x400000);
const WindowHandle kTarget = reinterpret_cast<WindowHandle>(0x3001);

class LauncherEntryTest : public ::testing::Test {
 protected:
  LauncherEntryTest() { platform.lookupDefault = kTarget; }

  int run(const char* commandLine = "Demo#C:\\rec\\#clip.avi", int32_t showMode = kSwShowDefault) {
    return runLauncher(platform, kInstance, commandLine, showMode);
  }

  int stopCommandsRun() const { return platform.count("runHiddenCommand"); }

  FakePlatform platform;
};

TEST_F(LauncherEntryTest, RegistersAndCreatesTheControlWindowAsCallersFindIt) {
  platform.deliverAfter("launchProcess", stopMessage());
  EXPECT_EQ(run(), 0);
  EXPECT_EQ(platform.registeredClassName, "ZELTRA_ScreenTool");
  EXPECT_EQ(platform.registeredProcedure, &controlWindowProc);
  EXPECT_EQ(platform.registeredInstance, kInstance);
  ASSERT_EQ(platform.windowRequests.size(), 1u);
  const WindowRequest& w = platform.windowRequests[0];
  EXPECT_EQ(w.extendedStyle, 0u);
  EXPECT_EQ(w.className, "ZELTRA_ScreenTool");
  EXPECT_EQ(w.title, "ZELTRA_ScreenTool");
  EXPECT_EQ(w.style, 0x00CF0000u);
  for (int32_t v : {w.x, w.y, w.width, w.height}) {
    EXPECT_EQ(static_cast<uint32_t>(v), 0x80000000u);
  }
  EXPECT_EQ(w.parent, nullptr);
  EXPECT_EQ(w.menu, nullptr);
  EXPECT_EQ(w.instance, kInstance);
  EXPECT_EQ(w.creationData, nullptr);
}

TEST_F(LauncherEntryTest, RunsInOrderFromWindowToRecordingToLoopToEncoderExit) {
  platform.deliverAfter("launchProcess", stopMessage());
  EXPECT_EQ(run(), 0);
  const char* order[] = {"registerWindowClass",
                         "createWindow",
                         "showWindow",
                         "findTopLevelWindow",
                         "runHiddenCommand",
                         "launchProcess",
                         "pause 100",
                         "fetchMessage",
                         "dispatchMessage 1025",
                         "waitForProcessExit 10000",
                         "releaseProcess"};
  int previous = -1;
  for (const char* step : order) {
    const int index = platform.indexOf(step);
    EXPECT_GT(index, previous) << step;
    previous = index;
  }
}

TEST_F(LauncherEntryTest, AFailedCreationEndsAtOnceWithNothingElseDone) {
  platform.windowCreationFails = true;
  EXPECT_EQ(run(), 0);
  EXPECT_EQ(platform.count("showWindow"), 0);
  EXPECT_EQ(platform.count("findTopLevelWindow"), 0);
  EXPECT_EQ(stopCommandsRun(), 0);
  EXPECT_EQ(platform.count("launchProcess"), 0);
  EXPECT_EQ(platform.count("fetchMessage"), 0);
  ASSERT_EQ(platform.diagnostics.size(), 1u);
  EXPECT_EQ(platform.diagnostics[0],
            "ZELTRA_ScreenTool: could not create the control window; nothing started\n");
}

TEST_F(LauncherEntryTest, ShowsTheWindowWithoutCoveringOrActivating) {
  const std::pair<int32_t, int32_t> cases[] = {
      {kSwShowDefault, kSwShowMinNoActive},      {1 /* SW_SHOWNORMAL */, kSwShowMinNoActive},
      {3 /* SW_MAXIMIZE */, kSwShowMinNoActive}, {kSwShowMinimized, kSwShowMinNoActive},
      {kSwShowMinNoActive, kSwShowMinNoActive},  {kSwHide, kSwHide}};
  for (const auto& [requested, shown] : cases) {
    FakePlatform fresh;
    fresh.lookupDefault = kTarget;
    fresh.deliverAfter("launchProcess", stopMessage());
    runLauncher(fresh, kInstance, "Demo#C:\\a.avi", requested);
    EXPECT_EQ(fresh.calls[fresh.indexOf("showWindow")], "showWindow " + std::to_string(shown))
        << requested;
  }
}

TEST_F(LauncherEntryTest, TheStopMessageWithAnyParametersStopsOnceAndQuits) {
  for (const auto& [wParam, lParam] :
       {std::pair<uintptr_t, intptr_t>{0, 0}, {1, -1}, {UINTPTR_MAX, INTPTR_MIN}}) {
    FakePlatform fresh;
    fresh.lookupDefault = kTarget;
    fresh.deliverAfter("launchProcess", stopMessage(wParam, lParam));
    EXPECT_EQ(runLauncher(fresh, kInstance, "Demo#C:\\a.avi", kSwShowDefault), 0);
    // One stop before the launch, one for the request.
    EXPECT_EQ(fresh.count("runHiddenCommand"), 2);
    EXPECT_EQ(fresh.commands.back(), "taskkill /IM ffmpeg.exe");
    EXPECT_EQ(fresh.calls[fresh.indexOf("postQuit")], "postQuit 0");
    EXPECT_EQ(fresh.count("defaultWindowProcedure"), 0);
  }
}

TEST_F(LauncherEntryTest, ClosingTheWindowStopsThroughItsDestruction) {
  platform.deliverAfter("launchProcess", Message{FakePlatform::kControlWindow, kWmClose, 0, 0});
  EXPECT_EQ(run(), 0);
  EXPECT_EQ(platform.calls[platform.indexOf("defaultWindowProcedure")],
            "defaultWindowProcedure 16");
  EXPECT_EQ(stopCommandsRun(), 2);
  EXPECT_EQ(platform.count("postQuit"), 1);
}

TEST_F(LauncherEntryTest, RepeatedStopRequestsRunTheStopCommandOnce) {
  for (int i = 0; i < 1000; ++i) {
    platform.deliverAfter("launchProcess", stopMessage());
  }
  platform.deliverAfter("launchProcess", Message{FakePlatform::kControlWindow, kWmClose, 0, 0});
  EXPECT_EQ(run(), 0);
  EXPECT_EQ(stopCommandsRun(), 2);
}

TEST_F(LauncherEntryTest, OtherMessagesGoToTheDefaultHandling) {
  platform.deliverAfter("launchProcess", Message{FakePlatform::kControlWindow, 0x000F, 0, 0});
  platform.deliverAfter("launchProcess", Message{FakePlatform::kControlWindow, kWmUser, 0, 0});
  platform.deliverAfter("launchProcess", Message{FakePlatform::kControlWindow, kWmUser + 2, 0, 0});
  platform.deliverAfter("launchProcess", stopMessage());
  EXPECT_EQ(run(), 0);
  EXPECT_EQ(platform.count("defaultWindowProcedure"), 3);
  EXPECT_EQ(stopCommandsRun(), 2);
}

TEST_F(LauncherEntryTest, AFailingFetchEndsTheLoopInsteadOfSpinning) {
  // Nothing scripted after the launch: the double's fetch fails with -1.
  EXPECT_EQ(run(), 0);
  EXPECT_EQ(platform.count("fetchMessage"), 1);
  EXPECT_EQ(stopCommandsRun(), 1);
}

TEST_F(LauncherEntryTest, TheExitWaitsForTheEncoderAndReleasesIt) {
  platform.deliverAfter("launchProcess", stopMessage());
  platform.encoderExitsInTime = false;
  EXPECT_EQ(run(), 0);
  EXPECT_GT(platform.indexOf("waitForProcessExit 10000"), platform.indexOf("postQuit"));
  EXPECT_EQ(platform.count("releaseProcess"), 1);
  EXPECT_EQ(platform.diagnostics.back(),
            "ZELTRA_ScreenTool: the encoder is still running 10 s after the stop; leaving it\n");
}

TEST_F(LauncherEntryTest, WithoutARunTheProcedureStopsNothing) {
  // A window torn down after the run (at process exit) must not stop encoders.
  EXPECT_EQ(controlWindowProc(nullptr, kWmDestroy, 0, 0), 0);
  EXPECT_EQ(controlWindowProc(nullptr, kStopMessage, 0, 0), 0);
  EXPECT_TRUE(platform.calls.empty());
}

}  // namespace
}  // namespace zeltra
