#include "launcher/recording_start.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "launcher/launcher_entry.h"
#include "launcher/windows_constants.h"
#include "tests/unit/fake_platform.h"
#include "tests/unit/windows_argv.h"

namespace zeltra {
namespace {

using testing::FakePlatform;
using testing::stopMessage;

// startRecording runs inside a launcher run, whose control window procedure
// serves the stop requests; these tests drive it through runLauncher.
class RecordingStartTest : public ::testing::Test {
 protected:
  RecordingStartTest() { platform.deliverAfter("pause", stopMessage()); }

  void run(const char* commandLine) { runLauncher(platform, nullptr, commandLine, kSwShowDefault); }

  FakePlatform platform;
};

std::wstring widenedAscii(const std::string& text) {
  return std::wstring(text.begin(), text.end());
}

TEST_F(RecordingStartTest, LaunchesTheExactCommandBesideTheLauncher) {
  platform.modulePath = L"C:\\Tools\\ZELTRA_ScreenTool.exe";
  platform.windowRect = {100, 80, 503, 381};
  run("Demo Window#C:\\rec\\#clip.avi");
  ASSERT_EQ(platform.launches.size(), 1u);
  const ShellLaunchRequest& launch = platform.launches[0];
  EXPECT_EQ(launch.file, L"C:\\Tools\\ffmpeg.exe");
  EXPECT_EQ(launch.verb, L"open");
  // SEE_MASK_NOCLOSEPROCESS, SEE_MASK_FLAG_NO_UI and SEE_MASK_NOZONECHECKS:
  // no download prompt, which would be a box and a modal loop on the only thread.
  EXPECT_EQ(launch.mask, 0x40u | 0x400u | 0x00800000u);
  EXPECT_EQ(launch.showMode, 7);
  const std::string parameters =
      testing::expectedParameterLine("100", "80", "400", "300", "\"C:\\rec\\clip.avi\"");
  EXPECT_EQ(launch.parameters, widenedAscii(parameters));
  EXPECT_EQ(platform.firstCall("findTopLevelWindow"), "findTopLevelWindow Demo Window");
  EXPECT_EQ(platform.said("starting C:\\Tools\\ffmpeg.exe " + parameters), 1);
}

TEST_F(RecordingStartTest, StopsRunningEncodersBeforeTheLaunchAndPausesAfter) {
  run("Demo#C:\\a.avi");
  const int measured = platform.indexOf("readWindowRect");
  const int stopped = platform.indexOf("runHiddenCommand");
  const int launched = platform.indexOf("launchProcess");
  const int paused = platform.indexOf("pause");
  EXPECT_LT(platform.indexOf("readModuleFileName"), platform.indexOf("findTopLevelWindow"));
  EXPECT_LT(measured, stopped);
  EXPECT_LT(stopped, launched);
  EXPECT_EQ(paused, launched + 1);
  EXPECT_EQ(platform.firstCall("pause"), "pause 100");
  // A starter's "ignore Ctrl+C" would reach the encoder, which then would not hear the launcher.
  const int cleared = platform.indexOf("stopIgnoringCtrlC");
  EXPECT_GE(cleared, 0);
  EXPECT_LT(cleared, launched);
}

TEST_F(RecordingStartTest, TheNextEncoderWaitsForTheOnesAskedToClose) {
  using Earlier = FakePlatform::EarlierEncoder;
  const char kGone[] = "the ffmpeg.exe asked to close had gone 700 ms after the stop command";
  const char kPast[] =
      "an ffmpeg.exe asked to close was still running 10 s after the stop command; starting the "
      "encoder all the same";
  struct Case {
    const char* what;
    std::optional<std::vector<Earlier>> earlier;
    CommandReport said;
    bool stopDuringWait;
    const char* line;  // null: neither line
    size_t launches;
  } const cases[] = {
      {"it finishes its file first",
       std::vector<Earlier>{{4000, true, true, 700}},
       {},
       false,
       kGone,
       1},
      {"two, one after the other",
       std::vector<Earlier>{{4000, true, true, 300}, {4001, true, true, 400}},
       {},
       false,
       kGone,
       1},
      {"it never goes", std::vector<Earlier>{{4000, true, false, 0}}, {}, false, kPast, 1},
      // Another session's, or one the stop command could not close: not waited for.
      {"not to be waited on", std::vector<Earlier>{{4000, false, false, 0}}, {}, false, nullptr, 1},
      {"the close not sent to it",
       std::vector<Earlier>{{4000, true, false, 0}},
       {1, "", "ERROR: ... PID 4000 ..."},
       false,
       nullptr,
       1},
      {"a stop while waiting", std::vector<Earlier>{{4000, true, false, 0}}, {}, true, nullptr, 0},
      {"which run is not known", std::nullopt, {}, false, nullptr, 1},
  };
  for (const Case& c : cases) {
    FakePlatform fresh;
    fresh.earlierEncoders = c.earlier;
    fresh.commandReport = c.said;
    fresh.deliverAfter(c.stopDuringWait ? "runHiddenCommand" : "pause", stopMessage());
    runLauncher(fresh, nullptr, "Demo#C:\\a.avi", kSwShowDefault);
    EXPECT_EQ(fresh.said(kGone), c.line == kGone ? 1 : 0) << c.what;
    EXPECT_EQ(fresh.said(kPast), c.line == kPast ? 1 : 0) << c.what;
    EXPECT_EQ(fresh.launches.size(), c.launches) << c.what;
    EXPECT_EQ(fresh.count("runHiddenCommand"), 2) << c.what;
    const std::vector<Earlier> earlier = c.earlier.value_or(std::vector<Earlier>{});
    // Every handle the launcher opened it gives back.
    EXPECT_EQ(fresh.earlierReleased, std::count_if(earlier.begin(), earlier.end(),
                                                   [](const Earlier& e) { return e.waitable; }))
        << c.what;
  }
}

TEST_F(RecordingStartTest, TheStopBeforeTheLaunchRunsOnlyWhenAnEncoderIsRunning) {
  for (const bool running : {true, false}) {
    FakePlatform fresh;
    if (!running) fresh.earlierEncoders->clear();
    fresh.deliverAfter("pause", stopMessage());
    runLauncher(fresh, nullptr, "Demo#C:\\a.avi", kSwShowDefault);
    EXPECT_EQ(fresh.firstCall("findRunningProcesses"), "findRunningProcesses ffmpeg.exe");
    EXPECT_LT(fresh.indexOf("readWindowRect"), fresh.indexOf("findRunningProcesses"));
    // One for the stop request, and one before the launch if anything could be closed.
    EXPECT_EQ(fresh.count("runHiddenCommand"), running ? 2 : 1) << running;
    EXPECT_EQ(fresh.said("no ffmpeg.exe is running; nothing to stop before the launch"),
              running ? 0 : 1);
    EXPECT_EQ(fresh.launches.size(), 1u);
  }
}

TEST_F(RecordingStartTest, UnusableInvocationsEndBeforeAnythingIsStoppedOrStarted) {
  const char* const noPath =
      "the command line names no output path (expected title#pathHead#pathTail); nothing to record";
  const char* const quote =
      "the output path holds a double quote, which no Windows path can (was the whole argument "
      "quoted?); nothing to record";
  const std::pair<const char*, const char*> cases[] = {
      {"", noPath},
      {"###", noPath},
      {"A#", noPath},
      {"Demo#C:\\a\"b.avi", quote},
      {"\"Demo#C:\\rec\\#clip.avi\"", quote},
  };
  for (const auto& [text, diagnostic] : cases) {
    FakePlatform fresh;
    EXPECT_EQ(runLauncher(fresh, nullptr, text, kSwShowDefault), 0);
    EXPECT_EQ(fresh.count("findTopLevelWindow"), 0) << text;
    EXPECT_EQ(fresh.count("runHiddenCommand"), 0) << text;
    EXPECT_EQ(fresh.count("launchProcess"), 0) << text;
    EXPECT_EQ(fresh.count("waitForMessageOrProcessExit"), 0) << text;
    ASSERT_EQ(fresh.diagnostics.size(), 1u) << text;
    EXPECT_EQ(fresh.diagnostics[0], std::string("ZELTRA_ScreenTool: ") + diagnostic + "\n");
  }
}

TEST_F(RecordingStartTest, AStopDuringTheWaitEndsTheRunWithoutALaunch) {
  // The stop message, or the control window closed.
  for (const Message& stop :
       {stopMessage(), Message{FakePlatform::kControlWindow, kWmClose, 0, 0}}) {
    FakePlatform fresh;
    fresh.lookupDefault = nullptr;
    fresh.deliverAfter("findTopLevelWindow", stop, 3);
    runLauncher(fresh, nullptr, "Never#C:\\a.avi", kSwShowDefault);
    EXPECT_EQ(fresh.count("runHiddenCommand"), 1) << stop.message;
    EXPECT_EQ(fresh.count("launchProcess"), 0) << stop.message;
    // The quit was taken while waiting: no message loop waits for another.
    EXPECT_EQ(fresh.count("waitForMessageOrProcessExit"), 0) << stop.message;
    EXPECT_EQ(fresh.diagnostics.back(),
              "ZELTRA_ScreenTool: stopped while waiting for the window; no encoder started\n");
  }
}

TEST_F(RecordingStartTest, AStopBetweenTheWaitAndTheLaunchPreventsTheLaunch) {
  platform.deliverAfter("runHiddenCommand", stopMessage());
  run("Demo#C:\\a.avi");
  EXPECT_EQ(platform.count("launchProcess"), 0);
  EXPECT_EQ(platform.count("runHiddenCommand"), 2);
  EXPECT_EQ(platform.said("stopped before the encoder was started; none started"), 1);
}

TEST_F(RecordingStartTest, AMessageOtherThanAStopBeforeTheLaunchDoesNotPreventIt) {
  platform.deliverAfter("findRunningProcesses",
                        Message{FakePlatform::kControlWindow, 0x000F, 0, 0});
  run("Demo#C:\\a.avi");
  EXPECT_EQ(platform.launches.size(), 1u);
  EXPECT_EQ(platform.count("runHiddenCommand"), 2);
}

TEST_F(RecordingStartTest, StartsTheEncoderBesideALauncherInAnyFolder) {
  // The launch names the folder whole; the lines name it in the ANSI code page.
  const struct {
    bool doubleByte;
    const wchar_t* folder;
    const char* shown;
  } cases[] = {
      {false, L"C:\\Tools", "C:\\Tools"},
      {false, L"C:\\\u00C4pfel", "C:\\\xC4pfel"},
      {false, L"C:\\\u0141\u00F3d\u017A \u015Al\u0119\u017Ca",
       "C:\\?\xF3"
       "d? ?l??a"},
      // Code page 932: the folder's character ends in 0x5C, the backslash's byte.
      {true, L"C:\\\u30BD", "C:\\\x83\x5C"},
  };
  for (const auto& c : cases) {
    FakePlatform fresh;
    fresh.doubleByteCodePage = c.doubleByte;
    fresh.modulePath = std::wstring(c.folder) + L"\\ZELTRA_ScreenTool.exe";
    fresh.launchFails = true;
    fresh.deliverAfter("pause", stopMessage());
    runLauncher(fresh, nullptr, "Demo#C:\\a.avi", kSwShowDefault);
    ASSERT_EQ(fresh.launches.size(), 1u) << c.shown;
    EXPECT_EQ(fresh.launches[0].file, std::wstring(c.folder) + L"\\ffmpeg.exe") << c.shown;
    const std::string encoder = std::string(c.shown) + "\\ffmpeg.exe";
    EXPECT_EQ(fresh.said("starting " + encoder + " " +
                         testing::expectedParameterLine("0", "0", "640", "480", "\"C:\\a.avi\"")),
              1)
        << c.shown;
    EXPECT_EQ(fresh.said("could not start " + encoder + "; nothing is recorded"), 1) << c.shown;
  }
}

TEST_F(RecordingStartTest, TheParameterLineIsWidenedCharacterForCharacter) {
  // The output path as the ANSI invocation gives it, and the same path as
  // the encoder must receive it.
  const struct {
    bool doubleByte;
    const char* invocation;
    const wchar_t* quotedPath;
  } cases[] = {
      {false, "Demo#C:\\rec\\#caf\xE9.avi", L"\"C:\\rec\\caf\u00E9.avi\""},
      {false, "Demo#C:\\\xFF\\", L"\"C:\\\u00FF\\\\\""},
      // One two-byte character, its second byte no backslash to double.
      {true, "Demo#C:\\\x83\x5C", L"\"C:\\\u30BD\""},
      {true, "Demo#C:\\\x83\x5C.avi", L"\"C:\\\u30BD.avi\""},
  };
  for (const auto& c : cases) {
    FakePlatform fresh;
    fresh.doubleByteCodePage = c.doubleByte;
    fresh.deliverAfter("pause", stopMessage());
    runLauncher(fresh, nullptr, c.invocation, kSwShowDefault);
    ASSERT_EQ(fresh.launches.size(), 1u) << c.invocation;
    EXPECT_EQ(
        fresh.launches[0].parameters,
        widenedAscii(testing::expectedParameterLine("0", "0", "640", "480", "")) + c.quotedPath)
        << c.invocation;
  }
}

TEST_F(RecordingStartTest, AWindowThatVanishesBeforeMeasuringIsWaitedForAgain) {
  platform.rectResults = {std::nullopt};
  platform.windowRect = {0, 0, 320, 240};
  run("Demo#C:\\a.avi");
  EXPECT_EQ(platform.count("findTopLevelWindow"), 2);
  EXPECT_EQ(platform.count("readWindowRect"), 2);
  EXPECT_EQ(platform.said("the window vanished before it could be measured; waiting again"), 1);
  ASSERT_EQ(platform.launches.size(), 1u);
  EXPECT_NE(platform.launches[0].parameters.find(L"-video_size 320x240 "), std::wstring::npos);
}

TEST_F(RecordingStartTest, AFailedLaunchIsReportedAndStopRequestsAreStillServed) {
  platform.launchFails = true;
  run("Demo#C:\\a.avi");
  EXPECT_EQ(platform.count("launchProcess"), 1);
  EXPECT_EQ(platform.said("could not start C:\\Tools\\ffmpeg.exe; nothing is recorded"), 1);
  EXPECT_EQ(platform.count("runHiddenCommand"), 2);
  EXPECT_EQ(platform.count("waitForProcessExit"), 0);
}

TEST(ModulePathTest, ReadsALongPathAgainIntoALargerBuffer) {
  for (size_t length : {size_t{0}, size_t{259}, size_t{260}, size_t{700}, size_t{32767}}) {
    FakePlatform platform;
    platform.modulePath = std::wstring(length, L'p');
    EXPECT_EQ(readOwnModulePath(platform), platform.modulePath) << length;
  }
}

TEST(ModulePathTest, UsesTheUsualBufferFirst) {
  FakePlatform platform;
  readOwnModulePath(platform);
  EXPECT_EQ(platform.calls, std::vector<std::string>{"readModuleFileName 260"});
}

}  // namespace
}  // namespace zeltra
