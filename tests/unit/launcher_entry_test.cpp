#include "launcher/launcher_entry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "launcher/encoder_stop.h"
#include "launcher/windows_constants.h"
#include "tests/unit/fake_platform.h"

namespace zeltra {
namespace {

using testing::FakePlatform;
using testing::stopMessage;

InstanceHandle const kInstance = reinterpret_cast<InstanceHandle>(0x400000);
class LauncherEntryTest : public ::testing::Test {
 protected:
  int run() { return run(platform); }
  // A run of its own, for one row of a table.
  static int run(FakePlatform& fresh, int32_t showMode = kSwShowDefault) {
    return runLauncher(fresh, kInstance, "Demo#C:\\rec\\#clip.avi", showMode);
  }

  int stopCommandsRun() const { return platform.count("runHiddenCommand"); }

  FakePlatform platform;
};

TEST_F(LauncherEntryTest, CreatesTheControlWindowAsCallersFindIt) {
  platform.deliverAfter("launchProcess", stopMessage());
  EXPECT_EQ(run(), 0);
  EXPECT_EQ(platform.registeredClassName, "ZELTRA_ScreenTool");
  EXPECT_EQ(platform.registeredProcedure, &controlWindowProc);
  ASSERT_EQ(platform.windowRequests.size(), 1u);
  const WindowRequest& w = platform.windowRequests[0];
  EXPECT_EQ(w.className, "ZELTRA_ScreenTool");
  EXPECT_EQ(w.title, "ZELTRA_ScreenTool");
  EXPECT_EQ(w.parent, nullptr) << "top-level, so FindWindow finds it";
}

TEST_F(LauncherEntryTest, ShowsTheWindowBeforeWaitingAndStopsAfterTheLoopEnds) {
  platform.deliverAfter("launchProcess", stopMessage());
  EXPECT_EQ(run(), 0);
  // Answerable while it waits: shown before the lookup.
  EXPECT_LT(platform.indexOf("showWindow"), platform.indexOf("findTopLevelWindow"));
  // The stop request's command, the window gone, then the wait for the encoder.
  EXPECT_LT(platform.indexOf("dispatchMessage 1025"), platform.lastIndexOf("runHiddenCommand"));
  EXPECT_LT(platform.lastIndexOf("runHiddenCommand"), platform.indexOf("destroyWindow"));
  EXPECT_LT(platform.indexOf("destroyWindow"), platform.indexOf("waitForProcessExit"));
  EXPECT_EQ(platform.lastIndexOf("launchProcess"), platform.indexOf("launchProcess"));
}

TEST_F(LauncherEntryTest, AFailedCreationEndsAtOnceWithNothingElseDone) {
  platform.windowCreationFails = true;
  EXPECT_EQ(run(), 0);
  EXPECT_EQ(platform.count("showWindow"), 0);
  EXPECT_EQ(platform.count("findTopLevelWindow"), 0);
  EXPECT_EQ(stopCommandsRun(), 0);
  EXPECT_EQ(platform.count("launchProcess"), 0);
  EXPECT_EQ(platform.count("waitForMessageOrProcessExit"), 0);
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
    fresh.deliverAfter("launchProcess", stopMessage());
    run(fresh, requested);
    EXPECT_EQ(fresh.firstCall("showWindow"), "showWindow " + std::to_string(shown)) << requested;
  }
}

TEST_F(LauncherEntryTest, TheStopMessageWithAnyParametersStopsOnceAndQuits) {
  for (const auto& [wParam, lParam] :
       {std::pair<uintptr_t, intptr_t>{0, 0}, {1, -1}, {UINTPTR_MAX, INTPTR_MIN}}) {
    FakePlatform fresh;
    fresh.deliverAfter("launchProcess", stopMessage(wParam, lParam));
    EXPECT_EQ(run(fresh), 0);
    // One stop before the launch, one for the request.
    EXPECT_EQ(fresh.count("runHiddenCommand"), 2);
    EXPECT_EQ(fresh.firstCall("runHiddenCommand"), "runHiddenCommand taskkill /IM ffmpeg.exe");
    EXPECT_EQ(fresh.said("asking every ffmpeg.exe to close: taskkill /IM ffmpeg.exe"), 2);
    EXPECT_EQ(fresh.firstCall("postQuit"), "postQuit 0");
    EXPECT_EQ(fresh.count("defaultWindowProcedure"), 0);
  }
}

TEST_F(LauncherEntryTest, ClosingTheWindowStopsThroughItsDestruction) {
  platform.deliverAfter("launchProcess", Message{FakePlatform::kControlWindow, kWmClose, 0, 0});
  EXPECT_EQ(run(), 0);
  EXPECT_EQ(platform.firstCall("defaultWindowProcedure"), "defaultWindowProcedure 16");
  EXPECT_EQ(stopCommandsRun(), 2);
  EXPECT_EQ(platform.count("postQuit"), 1);
  EXPECT_EQ(platform.count("destroyWindow"), 0) << "being destroyed already";
}

TEST_F(LauncherEntryTest, RepeatedStopRequestsStopOnceAndTheWindowGoesOnce) {
  for (int i = 0; i < 1000; ++i) {
    platform.deliverAfter("launchProcess", stopMessage());
  }
  platform.deliverAfter("launchProcess", Message{FakePlatform::kControlWindow, kWmClose, 0, 0});
  EXPECT_EQ(run(), 0);
  EXPECT_EQ(stopCommandsRun(), 2);
  // The WM_DESTROY of the launcher's own destruction of the window is no new stop either.
  EXPECT_EQ(platform.count("destroyWindow"), 1);
  EXPECT_EQ(platform.count("postQuit"), 1);
}

TEST_F(LauncherEntryTest, OtherMessagesGoToTheDefaultHandling) {
  // WM_CREATE, WM_PAINT, and the user messages either side of the stop message.
  platform.deliverAfter("launchProcess", Message{FakePlatform::kControlWindow, 0x0001, 0, 0});
  platform.deliverAfter("launchProcess", Message{FakePlatform::kControlWindow, 0x000F, 0, 0});
  platform.deliverAfter("launchProcess", Message{FakePlatform::kControlWindow, kWmUser, 0, 0});
  platform.deliverAfter("launchProcess", Message{FakePlatform::kControlWindow, kWmUser + 2, 0, 0});
  platform.deliverAfter("launchProcess", stopMessage());
  EXPECT_EQ(run(), 0);
  EXPECT_EQ(platform.count("defaultWindowProcedure"), 4);
  EXPECT_EQ(platform.count("translateMessage"), platform.count("dispatchMessage"));
  EXPECT_EQ(stopCommandsRun(), 2);
}

const char kReAsked[] =
    "the encoder has not finished on the stop command; asking it once more with Ctrl+C through "
    "its console";
const char kEnded[] =
    "the encoder was still running 10 s after the stop; ended it, its file will be unfinished";

// What taskkill says of the encoder (id 4242): sent its close request, or not.
CommandReport closeSent() { return {0, "SUCCESS: ... with PID 4242.\r\n", ""}; }
CommandReport closeNotSent() {
  return {1, "SUCCESS: ... with PID 14242.\r\n", "ERROR: ... with PID 4242 could not be ...\r\n"};
}

TEST_F(LauncherEntryTest, AStopSeesTheOwnEncoderThroughToItsEnd) {
  using End = FakePlatform::EncoderEnd;
  using Result = Termination::Result;
  struct Case {
    const char* what;
    End end;
    CommandReport said;
    Result termination;
    std::vector<std::string> waits;
    const char* last;  // the last line
  } const cases[] = {
      // Whether the close reached it is not known: it is given the close's whole deadline.
      {"finishes on the close",
       End::kOnStopCommand,
       {},
       Result::kEnded,
       {"waitForProcessExit 5000"},
       nullptr},
      // Only a close request that surely missed it is followed by Ctrl+C soon.
      {"the close not sent",
       End::kOnCtrlC,
       closeNotSent(),
       Result::kEnded,
       {"waitForProcessExit 500", "waitForProcessExit 9500"},
       "the encoder finished 500 ms after the stop command"},
      {"the close sent, unheard",
       End::kOnCtrlC,
       closeSent(),
       Result::kEnded,
       {"waitForProcessExit 5000", "waitForProcessExit 5000"},
       "the encoder finished 5000 ms after the stop command"},
      {"never finishes",
       End::kNever,
       closeNotSent(),
       Result::kEnded,
       {"waitForProcessExit 500", "waitForProcessExit 9500"},
       kEnded},
      {"cannot be ended",
       End::kNever,
       closeNotSent(),
       Result::kNotEnded,
       {"waitForProcessExit 500", "waitForProcessExit 9500"},
       "the encoder was still running 10 s after the stop, and could not be ended (error 5); it "
       "may record on"},
      {"exits as it is ended",
       End::kNever,
       closeNotSent(),
       Result::kHadExited,
       {"waitForProcessExit 500", "waitForProcessExit 9500"},
       "the encoder exited at the 10 s limit, as it was to be ended; its file may be unfinished"},
  };
  for (const Case& c : cases) {
    FakePlatform fresh;
    fresh.encoderEnd = c.end;
    fresh.commandReport = c.said;
    fresh.terminationResult = c.termination;
    fresh.deliverAfter("launchProcess", stopMessage());
    EXPECT_EQ(run(fresh), 0);
    const bool interrupted = c.waits.size() > 1;
    EXPECT_EQ(fresh.count("runHiddenCommand"), 2) << c.what;
    EXPECT_EQ(fresh.count("interruptConsoleProcess"), interrupted ? 1 : 0) << c.what;
    EXPECT_EQ(fresh.count("terminateProcess"), c.end == End::kNever ? 1 : 0) << c.what;
    std::vector<std::string> waits;
    for (const std::string& call : fresh.calls) {
      if (call.rfind("waitForProcessExit", 0) == 0) waits.push_back(call);
    }
    EXPECT_EQ(waits, c.waits) << c.what;
    EXPECT_EQ(fresh.count("releaseProcess"), 1) << c.what;
    EXPECT_EQ(fresh.said(kReAsked), interrupted ? 1 : 0) << c.what;
    if (c.last != nullptr) {
      EXPECT_EQ(fresh.diagnostics.back(), std::string("ZELTRA_ScreenTool: ") + c.last + "\n")
          << c.what;
    }
  }
}

TEST_F(LauncherEntryTest, ACtrlCThatDidNotReachTheEncoderIsTriedAgainUntilOneDoes) {
  FakePlatform fresh;
  fresh.encoderEnd = FakePlatform::EncoderEnd::kOnCtrlC;
  fresh.commandReport = closeNotSent();
  fresh.interruptsUnreached = 2;
  fresh.deliverAfter("launchProcess", stopMessage());
  run(fresh);
  EXPECT_EQ(fresh.count("interruptConsoleProcess"), 3);
  EXPECT_EQ(fresh.said("could not reach the encoder's console to ask it to finish (error 6)"), 1);
  EXPECT_EQ(fresh.said("sent Ctrl+C to the encoder's console at attempt 3"), 1);
  EXPECT_EQ(fresh.said("the encoder exited 1000 ms after the Ctrl+C"), 1);
  EXPECT_EQ(fresh.count("terminateProcess"), 0);
}

TEST_F(LauncherEntryTest, TheStopCommandsReportNamesTheEncoderByItsWholeId) {
  using Close = CloseRequest;
  struct Case {
    CommandReport said;
    Close close;
  } const cases[] = {
      {closeSent(), Close::kSent},
      {closeNotSent(), Close::kNotSent},
      {{0, "with PID 4242.", "with PID 4242."}, Close::kNotSent},  // the error wins
      {{0, "PID 42420 and 14242 and 4242", ""}, Close::kSent},
      {{0, "PID 42420 and 14242", "42421"}, Close::kNotKnown},
      {{0, "4242", ""}, Close::kSent},  // at the text's ends
      {{128, "", ""}, Close::kNotKnown},
  };
  for (const Case& c : cases) {
    StopCommandRun run{StopCommandResult::kReturned, c.said};
    EXPECT_EQ(closeRequestFor(run, 4242), c.close) << c.said.output << " / " << c.said.errors;
    run.result = StopCommandResult::kEndedAtBound;
    EXPECT_EQ(closeRequestFor(run, 4242), Close::kNotKnown);
  }
}

TEST_F(LauncherEntryTest, SaysHowLongAfterTheStopCommandTheEncoderFinished) {
  using End = FakePlatform::EncoderEnd;
  const std::string kFinished = "ZELTRA_ScreenTool: the encoder finished ";
  struct Case {
    End end = End::kOnStopCommand;
    Message stop;
    CommandOutcome command = CommandOutcome::kRan;
    const char* said = nullptr;  // null: no such line
  } const cases[] = {
      // Counted from the command's return (it takes 300 ms), across the clock's wrap.
      {End::kOnStopCommand, stopMessage(), CommandOutcome::kRan,
       "the encoder finished 120 ms after the stop command"},
      {End::kOnCtrlC, stopMessage(), CommandOutcome::kRanByFallback,
       "the encoder finished 620 ms after the stop command"},
      {End::kNever, stopMessage(), CommandOutcome::kRan, nullptr},
      {End::kOnCtrlC, Message{nullptr, kWmQuit, 0, 0}, CommandOutcome::kRan, nullptr},
      {End::kOnCtrlC, stopMessage(), CommandOutcome::kInterpreterFailed, nullptr},
  };
  for (const Case& c : cases) {
    FakePlatform fresh;
    fresh.encoderEnd = c.end;
    fresh.commandOutcome = c.command;
    fresh.commandReport = closeNotSent();
    fresh.stopCommandTakesMs = 300;
    fresh.encoderExitTakesMs = 120;
    fresh.clockMs = 0xFFFFFFFFu - 700;  // wraps while the encoder finishes
    fresh.deliverAfter("launchProcess", c.stop);
    run(fresh);
    const auto& lines = fresh.diagnostics;
    const auto finished = std::find_if(lines.begin(), lines.end(), [&](const std::string& line) {
      return line.rfind(kFinished, 0) == 0;
    });
    const int kind = static_cast<int>(c.end);
    if (c.said == nullptr) {
      EXPECT_EQ(finished, lines.end()) << kind;
      continue;
    }
    ASSERT_NE(finished, lines.end()) << kind;
    EXPECT_EQ(*finished, std::string("ZELTRA_ScreenTool: ") + c.said + "\n");
    EXPECT_EQ(fresh.said(c.said), 1);
    // Read after the wait that saw the exit: the Ctrl+C's line comes before it.
    const auto reAsked =
        std::find(lines.begin(), lines.end(), std::string("ZELTRA_ScreenTool: ") + kReAsked + "\n");
    EXPECT_EQ(reAsked < finished, c.end == End::kOnCtrlC) << kind;
  }
}

TEST_F(LauncherEntryTest, AnyOtherEndOfTheLoopAsksTheOwnEncoderToFinish) {
  const std::pair<bool, const char*> cases[] = {
      {true, "a quit message ended the run without a stop request; asking the encoder to finish"},
      {false, "waiting for messages failed; asking the encoder to finish"},
  };
  for (const auto& [quit, diagnostic] : cases) {
    FakePlatform fresh;
    fresh.encoderEnd = FakePlatform::EncoderEnd::kOnCtrlC;
    fresh.consoleReachable = quit;
    if (quit) fresh.deliverAfter("launchProcess", Message{nullptr, kWmQuit, 0, 0});
    EXPECT_EQ(run(fresh), 0);
    // Only the stop before the launch: the others' encoders are not this run's to end.
    EXPECT_EQ(fresh.count("runHiddenCommand"), 1) << diagnostic;
    EXPECT_EQ(fresh.count("destroyWindow"), 1) << diagnostic;
    // A Ctrl+C that reached it is the only one; one that could not is tried
    // again every 500 ms, said once, until the time limit ends the encoder.
    EXPECT_EQ(fresh.count("interruptConsoleProcess"), quit ? 1 : 20) << diagnostic;
    EXPECT_EQ(fresh.count("terminateProcess"), quit ? 0 : 1) << diagnostic;
    EXPECT_EQ(fresh.said(diagnostic), 1);
    EXPECT_EQ(fresh.said("could not reach the encoder's console to ask it to finish (error 6)"),
              quit ? 0 : 1);
  }
}

TEST_F(LauncherEntryTest, AnEncoderEndingOnItsOwnIsReportedAndTheStopStillServed) {
  const std::pair<ProcessExit, const char*> cases[] = {
      {{1, 153}, "exit code 1 after 153 ms"},
      // Status codes are read in hex.
      {{0xC0000005u, 20}, "exit code 3221225477 (0xC0000005) after 20 ms"},
  };
  for (const auto& [exit, said] : cases) {
    FakePlatform fresh;
    fresh.encoderEnd = FakePlatform::EncoderEnd::kOnItsOwn;
    fresh.encoderExit = exit;
    fresh.deliverAfter("readProcessExit", stopMessage());
    EXPECT_EQ(run(fresh), 0);
    EXPECT_EQ(fresh.said(std::string("the encoder ended on its own with ") + said +
                         "; nothing is being recorded"),
              1);
    EXPECT_EQ(fresh.count("runHiddenCommand"), 2);
    EXPECT_EQ(fresh.count("waitForProcessExit"), 0);
    EXPECT_EQ(fresh.count("interruptConsoleProcess"), 0);
    EXPECT_EQ(fresh.count("releaseProcess"), 1);
  }
}

TEST_F(LauncherEntryTest, TheStopCommandSaysWhenItNeededTheFallbackInterpreter) {
  const std::pair<CommandOutcome, const char*> cases[] = {
      {CommandOutcome::kRanByFallback,
       "%ComSpec% could not be started; ran the stop command through cmd.exe in the system "
       "directory"},
      {CommandOutcome::kInterpreterFailed,
       "no command interpreter could be started; the stop command did not run"},
  };
  for (const auto& [outcome, diagnostic] : cases) {
    FakePlatform fresh;
    fresh.commandOutcome = outcome;
    fresh.deliverAfter("launchProcess", stopMessage());
    run(fresh);
    EXPECT_EQ(fresh.said(diagnostic), 2) << diagnostic;
  }
}

const char kEndedAtBound[] =
    "the stop command had not returned within 3 s; ended its interpreter and all it started";
const char kNotAgain[] =
    "not running the stop command again: it had not returned within 3 s before";

TEST_F(LauncherEntryTest, AStopCommandEndedAtItsBoundLetsTheLaunchGoOnAndTheStopAskAtOnce) {
  using End = FakePlatform::EncoderEnd;
  struct Case {
    const char* name;
    bool runningBeforeLaunch;  // whether the stop command runs before the launch
    const char* stopAfter;     // the operation after which the stop request arrives
    CommandOutcome outcome;
    const char* endedLine;
    size_t launches;
    int commands;
    int interrupts;
  } const cases[] = {
      {"on a stop", false, "launchProcess", CommandOutcome::kEndedAtBound, kEndedAtBound, 1, 1, 1},
      {"on a stop, something outlived it", false, "launchProcess",
       CommandOutcome::kStillRunningAtBound,
       "the stop command had not returned within 3 s; ended its interpreter and all it started, "
       "but something of it was still running 5 s later",
       1, 1, 1},
      {"before the launch", true, "launchProcess", CommandOutcome::kEndedAtBound, kEndedAtBound, 1,
       1, 1},
      {"before the launch, the stop arriving meanwhile", true, "runHiddenCommand",
       CommandOutcome::kEndedAtBound, kEndedAtBound, 0, 1, 0},
  };
  for (const Case& c : cases) {
    FakePlatform fresh;
    fresh.encoderEnd = End::kOnCtrlC;
    if (!c.runningBeforeLaunch) fresh.earlierEncoders->clear();
    fresh.commandOutcome = c.outcome;
    fresh.deliverAfter(c.stopAfter, stopMessage());
    EXPECT_EQ(run(fresh), 0) << c.name;
    EXPECT_EQ(fresh.said(c.endedLine), 1) << c.name;
    EXPECT_EQ(fresh.launches.size(), c.launches) << c.name;
    // The same hung interpreter is not waited for a second time.
    EXPECT_EQ(fresh.count("runHiddenCommand"), c.commands) << c.name;
    EXPECT_EQ(fresh.said(kNotAgain), c.runningBeforeLaunch ? 1 : 0) << c.name;
    for (const uint32_t bound : fresh.commandBounds) {
      EXPECT_GT(bound, 0u) << c.name;
      EXPECT_LE(bound, 5000u) << c.name << ": a stop must not wait long for the command";
    }
    // Asked with Ctrl+C at once, then the whole time limit; no grace for a command that
    // reached nothing, and no line timing the finish from it.
    EXPECT_EQ(fresh.count("interruptConsoleProcess"), c.interrupts) << c.name;
    EXPECT_EQ(fresh.said(kReAsked), 0) << c.name;
    if (c.interrupts == 1) {
      EXPECT_EQ(fresh.firstCall("waitForProcessExit"), "waitForProcessExit 10000") << c.name;
      EXPECT_LT(fresh.indexOf("interruptConsoleProcess"), fresh.indexOf("waitForProcessExit"));
    }
    const auto& lines = fresh.diagnostics;
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& line) {
                              return line.find("finished") != std::string::npos &&
                                     line.find("after the stop command") != std::string::npos;
                            }),
              0)
        << c.name;
  }
}

TEST_F(LauncherEntryTest, WithoutARunTheProcedureStopsNothing) {
  // A window torn down after the run (at process exit) must not stop encoders.
  EXPECT_EQ(controlWindowProc(nullptr, kWmDestroy, 0, 0), 0);
  EXPECT_EQ(controlWindowProc(nullptr, kStopMessage, 0, 0), 0);
  EXPECT_TRUE(platform.calls.empty());
}

}  // namespace
}  // namespace zeltra
