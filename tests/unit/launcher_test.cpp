// The launcher on a desktop: its control window and stop protocol, the wait
// for the target window, and the recording's start, up to the launch.
#include <gtest/gtest.h>

#include <string>

#include "launcher/launcher_entry.h"
#include "launcher/stop.h"
#include "tests/unit/desktop.h"
#include "tests/unit/windows_argv.h"

namespace zeltra {
namespace {

using testing::Desktop;
using testing::kDemo;
using testing::kDemoRect;
using testing::recordAndStop;

int run(Desktop& desktop, const char* invocation = kDemo, int32_t showMode = kSwShowDefault) {
  return runLauncher(desktop, InvocationText{invocation, std::nullopt}, showMode);
}

// The launch's output path, as the encoder reads it back.
std::wstring launchedPath(const Desktop& desktop) {
  return testing::splitWindowsArguments(desktop.launches.at(0).parameters).back();
}

TEST(LauncherTest, RecordsTheWindowBesideTheLauncherAndStopsOnTheStopMessage) {
  Desktop desktop;
  // A window that appears while it records changes nothing.
  desktop.at(1000, [&desktop] { desktop.addWindow("Another", {0, 0, 64, 64}); });
  recordAndStop(desktop, 3000);
  ASSERT_EQ(desktop.launches.size(), 1u);
  EXPECT_EQ(desktop.launches[0].file, L"C:\\Tools\\ffmpeg.exe");
  EXPECT_EQ(testing::splitWindowsArguments(desktop.launches[0].parameters),
            testing::expectedEncoderArguments(L"100", L"80", L"400x300", L"C:\\rec\\clip.avi"));
  EXPECT_EQ(desktop.saidStartingWith(
                "starting C:\\Tools\\ffmpeg.exe -y -rtbufsize 100M -f gdigrab -framerate 30 "
                "-offset_x 100 -offset_y 80 -video_size 400x300 "),
            1);
  // The stop: one stop command, the window gone, the encoder finished.
  EXPECT_EQ(desktop.stopCommandsAt, std::vector<uint32_t>{3000});
  EXPECT_FALSE(desktop.controlWindowOpen);
  EXPECT_TRUE(desktop.launched().fileFinished());
  EXPECT_EQ(desktop.running(), 0);
}

TEST(LauncherTest, TheControlWindowNeverCoversTheRecordedWindowNorTakesItsFocus) {
  for (const auto& [requested, shown] :
       {std::pair{kSwShowDefault, kSwShowMinNoActive}, {kSwHide, kSwHide}}) {
    Desktop desktop;
    recordAndStop(desktop, 1000, kDemo, requested);
    EXPECT_EQ(desktop.shownWith, shown) << requested;
  }
}

TEST(LauncherTest, OnlyTheStopMessageAndTheWindowsEndStopTheRecording) {
  const struct {
    const char* what;
    std::vector<uint32_t> messages;
    bool stops;
  } cases[] = {
      {"a close request, by the frame or the system menu", {kWmClose}, true},
      {"many stop requests and a close",
       {kStopMessage, kStopMessage, kWmClose, kStopMessage},
       true},
      {"other messages, the user messages beside 1025 among them",
       {0x0001, 0x000F, kWmUser, kStopMessage + 1},
       false},
  };
  for (const auto& c : cases) {
    Desktop desktop;
    for (const uint32_t message : c.messages) desktop.postAt(1000, message);
    recordAndStop(desktop, 5000);
    // One stop command, once: later requests and the window's own end are no new stops.
    EXPECT_EQ(desktop.stopCommandsAt.size(), 1u) << c.what;
    EXPECT_EQ(desktop.stopCommandsAt.at(0) < 5000, c.stops) << c.what;
    EXPECT_FALSE(desktop.controlWindowOpen) << c.what;
    EXPECT_TRUE(desktop.launched().fileFinished()) << c.what;
  }
}

TEST(LauncherTest, WaitsForTheFirstShownWindowWithTheTitleSayingWhatKeepsIt) {
  Desktop desktop;
  const WindowHandle below =
      desktop.addWindow("demo", {0, 0, 64, 64});  // titles compare without case
  desktop.window(below).visible = false;
  const WindowHandle above = desktop.addWindow("Demo", kDemoRect);
  desktop.window(above).minimized = true;
  desktop.at(1000, [&] {
    desktop.window(above).minimized = false;
    desktop.window(above).cloaked = true;
  });
  desktop.at(1500, [&] { desktop.window(above).exists = false; });  // then only the hidden one
  desktop.at(2000, [&] { desktop.window(below).visible = true; });
  desktop.postAt(4000, kStopMessage);
  run(desktop);
  // Once per change, whichever way it goes.
  EXPECT_EQ(desktop.saidStartingWith("a window titled \"Demo\" exists but is "), 3);
  EXPECT_EQ(desktop.count("a window titled \"Demo\" exists but is minimized; waiting for it to be "
                          "shown"),
            1);
  EXPECT_EQ(desktop.saidStartingWith("a window titled \"Demo\" exists but is cloaked"), 1);
  EXPECT_EQ(desktop.saidStartingWith("a window titled \"Demo\" exists but is hidden"), 1);
  // Shown at 2000, the lower one is the one recorded.
  ASSERT_EQ(desktop.launches.size(), 1u);
  EXPECT_EQ(desktop.launches[0].at, 2000u);
  EXPECT_EQ(desktop.saidStartingWith("found the window: rectangle 0,0 to 64,64"), 1);
}

TEST(LauncherTest, ChangesNobodyAnnouncesAreFoundByLookingAgain) {
  // Looking again every 5 ms for half a second after a window with the title
  // is seen not shown, as Wine announces a window's creation and not its
  // showing; else once a second, which costs an idle wait nearly nothing.
  const struct {
    const char* what;
    bool thereHidden;
    uint32_t closedAt;  // 0: not closed
    uint32_t shownAt;
    uint32_t foundAt;
  } cases[] = {
      {"shown soon after it was seen hidden", true, 0, 303, 305},
      {"shown after the brisk looks", true, 0, 800, 1500},
      {"created shown, unannounced", false, 0, 303, 1000},
      // Once no window has the title, the looks slow down at once.
      {"closed, then another shown", true, 100, 303, 1100},
  };
  for (const auto& c : cases) {
    Desktop desktop;
    desktop.postAt(5000, kStopMessage);
    const WindowHandle window = desktop.addWindow("Demo", kDemoRect);
    desktop.window(window).visible = false;
    desktop.window(window).exists = c.thereHidden;
    if (c.closedAt != 0) {
      desktop.quietlyAt(c.closedAt, [&desktop, window] { desktop.window(window).exists = false; });
    }
    desktop.quietlyAt(c.shownAt, [&desktop, window] {
      desktop.window(window).exists = true;
      desktop.window(window).visible = true;
    });
    run(desktop);
    EXPECT_EQ(desktop.launches.at(0).at, c.foundAt) << c.what;
  }
}

TEST(LauncherTest, AWindowThatClosesBeforeItIsMeasuredIsWaitedForAgain) {
  Desktop desktop;
  desktop.window(desktop.addWindow("Demo", {0, 0, 64, 64})).closesWhenMeasured = true;
  desktop.at(1500, [&] { desktop.addWindow("Demo", kDemoRect); });
  desktop.postAt(3000, kStopMessage);
  run(desktop);
  EXPECT_EQ(desktop.saidStartingWith("the window vanished before it could be measured"), 1);
  EXPECT_EQ(desktop.launches.at(0).at, 1500u);
  EXPECT_EQ(desktop.saidStartingWith("found the window: rectangle 100,80 to 503,381"), 1);
}

TEST(LauncherTest, AStopWhileWaitingForTheWindowStartsNothing) {
  for (const uint32_t stop : {kStopMessage, kWmClose}) {
    Desktop desktop;
    desktop.runEarlierEncoder({});
    desktop.postAt(60000, stop);
    EXPECT_EQ(run(desktop, "Never#C:\\a.avi"), 0);
    EXPECT_TRUE(desktop.launches.empty()) << stop;
    EXPECT_EQ(desktop.stopCommandsAt, std::vector<uint32_t>{60000}) << stop;
    EXPECT_EQ(desktop.said.back(), "stopped while waiting for the window; no encoder started");
  }
}

TEST(LauncherTest, WhatCannotBeRecordedStartsNothingAndStopsNothing) {
  const struct {
    InvocationText invocation;
    const char* line = nullptr;
    bool controlWindowFails = false;
  } cases[] = {
      {{kDemo, std::nullopt}, "could not create the control window; nothing started", true},
      {{"Demo", std::nullopt},
       "the command line names no output path (expected title#pathHead#pathTail); "
       "nothing to record"},
      {{"\"Demo#C:\\rec\\#clip.avi\"", std::nullopt},
       "the output path holds a double quote, which no Windows path can (was the whole argument "
       "quoted?); nothing to record"},
      {{"Demo#tcp://192.0.2.1:9/#x.avi", std::nullopt},
       "the output path begins with a protocol's name (tcp:), which the encoder would not write "
       "as a file; nothing to record"},
      {{"Demo#-f#null", std::nullopt},
       "the output path begins with \"-\", which the encoder would read as an "
       "option; nothing to record"},
      // The fullwidth number sign, which code page 1252 would best-fit to "#".
      {{"", InvocationText::Inexact{7, 0xFF03, 1252}},
       "the command line's character 8, U+FF03, has no exact form in the ANSI code page (1252); "
       "nothing to record"},
  };
  for (const auto& c : cases) {
    Desktop desktop;
    desktop.controlWindowFails = c.controlWindowFails;
    desktop.runEarlierEncoder({});
    desktop.addWindow("Demo", kDemoRect);
    EXPECT_EQ(runLauncher(desktop, c.invocation, kSwShowDefault), 0);
    EXPECT_EQ(desktop.said, std::vector<std::string>{c.line});
    EXPECT_TRUE(desktop.stopCommandsAt.empty()) << c.line;
    EXPECT_TRUE(desktop.launches.empty()) << c.line;
    EXPECT_EQ(desktop.running(), 1) << "the earlier encoder was left alone";
  }
}

TEST(LauncherTest, TheStopCommandComesBeforeTheLaunchOnlyWhereAnEncoderRuns) {
  for (const bool running : {false, true}) {
    Desktop desktop;
    if (running) desktop.runEarlierEncoder({});
    recordAndStop(desktop, 3000);
    ASSERT_EQ(desktop.stopCommandsAt.size(), running ? 2u : 1u);
    // Pinned: an encoder left running would hold the file and the screen.
    EXPECT_EQ(desktop.stopCommandsAt.front() < desktop.launches.at(0).at, running);
    EXPECT_EQ(
        desktop.saidStartingWith("no ffmpeg.exe is running; nothing to stop before the launch"),
        running ? 0 : 1);
  }
}

TEST(LauncherTest, TheNextEncoderWaitsForTheOnesTheStopCommandAskedToClose) {
  const char kGone[] = "the ffmpeg.exe asked to close had gone ";
  const char kPast[] = "an ffmpeg.exe asked to close was still running 10 s after the stop command";
  testing::EncoderBehaviour slow;
  slow.finishMs = 1500;  // writing a long file's end
  testing::EncoderBehaviour deaf;
  deaf.hearsClose = false;
  testing::EncoderBehaviour windowless;
  windowless.hasConsoleWindow = false;
  testing::EncoderBehaviour elsewhere;
  elsewhere.otherSession = true;
  elsewhere.hearsClose = false;
  const struct {
    const char* what;
    std::vector<testing::EncoderBehaviour> earlier;
    const char* line;
    uint32_t launchAt;  // the stop command takes 300 ms
  } cases[] = {
      {"one finishing its file", {slow}, kGone, 1800},
      {"two", {slow, testing::EncoderBehaviour{}}, kGone, 1800},
      {"one that does not go", {deaf}, kPast, 10300},
      // Ones the stop command could not close cost no start the whole bound.
      {"one the close request cannot reach", {windowless}, nullptr, 300},
      {"another session's", {elsewhere}, nullptr, 300},
  };
  for (const auto& c : cases) {
    Desktop desktop;
    for (const testing::EncoderBehaviour& behaviour : c.earlier)
      desktop.runEarlierEncoder(behaviour);
    recordAndStop(desktop, 20000);
    EXPECT_EQ(desktop.launches.at(0).at, c.launchAt) << c.what;
    EXPECT_EQ(desktop.saidStartingWith(kGone), c.line == kGone ? 1 : 0) << c.what;
    EXPECT_EQ(desktop.saidStartingWith(kPast), c.line == kPast ? 1 : 0) << c.what;
  }
}

TEST(LauncherTest, AStopWhileWaitingForTheEarlierEncoderStartsNothing) {
  Desktop desktop;
  testing::EncoderBehaviour deaf;
  deaf.hearsClose = false;
  desktop.runEarlierEncoder(deaf);
  recordAndStop(desktop, 2000);
  EXPECT_TRUE(desktop.launches.empty());
  EXPECT_EQ(desktop.stopCommandsAt, (std::vector<uint32_t>{0, 2000}));
  EXPECT_EQ(desktop.said.back(), "stopped before the encoder was started; none started");
}

TEST(LauncherTest, TextsReachTheEncoderAsTheCodePageHoldsThem) {
  // A title in code page 1252, found as such; a folder it cannot hold, named
  // in its ANSI form in the lines and reached wide.
  Desktop desktop;
  desktop.ownPath = L"C:\\\u0141\u00F3d\u017A\\ZELTRA_ScreenTool.exe";
  desktop.addWindow("Caf\xE9 \xBBRecorder\xAB", kDemoRect);
  desktop.postAt(1000, kStopMessage);
  run(desktop, "Caf\xE9 \xBBRecorder\xAB#C:\\\x80\\#\xE6.avi");
  EXPECT_EQ(desktop.launches.at(0).file, L"C:\\\u0141\u00F3d\u017A\\ffmpeg.exe");
  EXPECT_EQ(launchedPath(desktop), L"C:\\\u20AC\\\u00E6.avi");
  EXPECT_EQ(desktop.saidStartingWith("starting C:\\?\xF3"
                                     "d?\\ffmpeg.exe -y "),
            1);

  // In code page 932 a character's second byte may be the backslash's: not
  // one the quoting doubles.
  Desktop japanese;
  japanese.codePage932 = true;
  recordAndStop(japanese, 1000, "Demo#C:\\\x83\x5C");
  EXPECT_EQ(launchedPath(japanese), L"C:\\\u30BD");
}

TEST(LauncherTest, AnEncoderThatCannotStartOrEndsAtOnceIsToldAndTheStopStillServed) {
  Desktop failing;
  failing.launchFails = true;
  recordAndStop(failing, 1000);
  EXPECT_EQ(failing.count("could not start C:\\Tools\\ffmpeg.exe; nothing is recorded"), 1);
  EXPECT_EQ(failing.stopCommandsAt.size(), 1u);
  EXPECT_FALSE(failing.controlWindowOpen);

  // On a scaled display, an encoder that ends as it starts names the likely cause.
  const struct {
    uint32_t code, ranMs;
    int32_t scale;
    const char* line;
  } cases[] = {
      {1, 153, 100,
       "the encoder ended on its own with exit code 1 after 153 ms; nothing is being recorded "
       "[finish=on-its-own]"},
      {0xC0000005u, 20, 100,
       "the encoder ended on its own with exit code 3221225477 (0xC0000005) after 20 ms; nothing "
       "is being recorded [finish=on-its-own]"},
      {1, 4999, 125,
       "the encoder ended on its own with exit code 1 after 4999 ms; nothing is being recorded; "
       "the display is scaled to 125%, where an encoder that is not DPI aware refuses a region "
       "on a monitor left of or above the primary one, a likely cause [finish=on-its-own]"},
      {1, 5000, 125,
       "the encoder ended on its own with exit code 1 after 5000 ms; nothing is being recorded "
       "[finish=on-its-own]"},
  };
  for (const auto& c : cases) {
    Desktop refusing;
    refusing.scalePercent = c.scale;
    refusing.encoder.endsOnItsOwnAfterMs = c.ranMs;
    refusing.encoder.exitCode = c.code;
    recordAndStop(refusing, 6000);
    EXPECT_EQ(refusing.count(c.line), 1) << c.line;
    EXPECT_EQ(refusing.finish()->finish, EncoderFinish::kOnItsOwn);
    EXPECT_EQ(refusing.stopCommandsAt.size(), 1u);
    EXPECT_EQ(refusing.launched().signals, 0) << "nothing more is sent to an ended encoder";
  }
}

}  // namespace
}  // namespace zeltra
