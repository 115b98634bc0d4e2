// The stop on a desktop: the stop command within its bound, the control
// window gone, and the launcher's own encoder seen through to its end
// without ever costing it its file.
#include <gtest/gtest.h>

#include <string>

#include "caller/zeltra_screentool.h"
#include "launcher/launcher_entry.h"
#include "launcher/stop.h"
#include "tests/unit/desktop.h"

namespace zeltra {
namespace {

using testing::Desktop;
using testing::EncoderBehaviour;
using testing::kDemoRect;
using testing::recordAndStop;

constexpr uint32_t kStopAt = 2000;

EncoderBehaviour encoder(bool consoleWindow, bool hearsClose, bool readsKey, bool hearsCtrlC,
                         uint32_t finishMs = 200) {
  EncoderBehaviour behaviour;
  behaviour.hasConsoleWindow = consoleWindow;
  behaviour.hearsClose = hearsClose;
  behaviour.readsStopKey = readsKey;
  behaviour.hearsCtrlC = hearsCtrlC;
  behaviour.finishMs = finishMs;
  return behaviour;
}

TEST(StopTest, TheEncoderFinishesItsFileOnWhicheverRequestReachesItSayingEachStep) {
  const char kNotSent[] =
      "the stop command could not send the encoder its close request; asking it through its "
      "console";
  const char kSent[] =
      "the encoder had not finished 500 ms after the stop command; asking it through its console";
  const char kToCtrlC[] = "the encoder has not finished on its stop key; asking it with Ctrl+C";
  const char kOnKey[] =
      "the encoder finished 700 ms after the stop command, on its stop key [finish=stop-key "
      "ms=700]";
  const struct {
    const char* what = nullptr;
    EncoderBehaviour behaviour;
    bool wineTaskkill = false;
    EncoderFinish finish{};
    int signals = 0;
    uint32_t exitAfterStop = 0;  // the stop command takes 300 ms
    const char* step = nullptr;  // said once after the stop command
    const char* last = nullptr;  // the last line said
  } cases[] = {
      {"the close request", encoder(true, true, true, true), false, EncoderFinish::kStopCommand, 1,
       500, nullptr,
       "the encoder finished 200 ms after the stop command [finish=stop-command ms=200]"},
      // Still writing its file's end when the key comes, which it no longer
      // reads; a Ctrl+C then would have been its second signal.
      {"a long finish on the close request", encoder(true, true, true, true, 3000), false,
       EncoderFinish::kStopKey, 1, 3300},
      {"no console window", encoder(false, true, true, true), false, EncoderFinish::kStopKey, 0,
       1000, kNotSent, kOnKey},
      // Wine's taskkill says it sent what its console does not pass on.
      {"a console that does not pass the close on", encoder(false, true, true, true), true,
       EncoderFinish::kStopKey, 0, 1000, kSent, kOnKey},
      // The Ctrl+C a second after the key where no close request was sent,
      // else at the close's deadline.
      {"no stop key read", encoder(false, true, false, true), false, EncoderFinish::kCtrlC, 1, 2000,
       kNotSent,
       "the encoder finished 1700 ms after the stop command, on the launcher's Ctrl+C "
       "[finish=ctrl-c ms=1700]"},
      {"no stop key read, the close said sent", encoder(false, true, false, true), true,
       EncoderFinish::kCtrlC, 1, 5500},
  };
  // The clock wraps 100 ms after the stop command returns, as the tick count
  // does every 49.7 days: each finish is timed across it.
  const uint32_t stopAt = 0xFFFFFFFFu - 399;
  for (const auto& c : cases) {
    Desktop desktop;
    desktop.startClockAt(stopAt - kStopAt);
    desktop.encoder = c.behaviour;
    desktop.taskkillClaimsEveryone = c.wineTaskkill;
    const uint32_t took = recordAndStop(desktop, stopAt);
    ASSERT_TRUE(desktop.finish()) << c.what;
    EXPECT_EQ(desktop.finish()->finish, c.finish) << c.what;
    EXPECT_EQ(desktop.launched().signals, c.signals) << c.what;
    EXPECT_EQ(*desktop.launched().exitAt - stopAt, c.exitAfterStop) << c.what;
    EXPECT_EQ(took, c.exitAfterStop) << c.what << ": the launcher returns once it has exited";
    EXPECT_TRUE(desktop.launched().fileFinished()) << c.what;
    EXPECT_EQ(desktop.finish()->msAfterStopCommand, c.exitAfterStop - 300) << c.what;
    EXPECT_EQ(desktop.count("asking every ffmpeg.exe to close: taskkill /IM ffmpeg.exe"), 1);
    if (c.step != nullptr) {
      EXPECT_EQ(desktop.count(c.step), 1) << c.what;
    }
    if (c.last == nullptr) continue;
    EXPECT_EQ(desktop.said.back(), c.last) << c.what;
    EXPECT_EQ(desktop.count(kToCtrlC), c.finish == EncoderFinish::kCtrlC ? 1 : 0) << c.what;
  }
}

TEST(StopTest, AnEncoderThatHearsNothingIsEndedAtTheTimeLimitSayingWhatCameOfIt) {
  const struct {
    bool endable;
    EncoderFinish finish;
    const char* line;
  } cases[] = {
      {true, EncoderFinish::kEnded,
       "the encoder was still running 10 s after the stop; ended it, its file will be unfinished "
       "[finish=ended]"},
      {false, EncoderFinish::kNotEnded,
       "the encoder was still running 10 s after the stop, and could not be ended (error 5); it "
       "may record on [finish=not-ended]"},
  };
  for (const auto& c : cases) {
    Desktop desktop;
    desktop.encoder = encoder(false, false, false, false);
    desktop.encoder.endable = c.endable;
    recordAndStop(desktop, kStopAt);
    EXPECT_EQ(desktop.finish()->finish, c.finish);
    EXPECT_EQ(desktop.said.back(), c.line);
    EXPECT_EQ(desktop.launched().endedByForce, c.endable);
    EXPECT_EQ(desktop.running(), c.endable ? 0 : 1);
    // One Ctrl+C reached its console: it is never sent a second.
    EXPECT_EQ(desktop.launched().signals, 1);
  }
}

TEST(StopTest, ARequestIsTriedAgainOnlyWhereItNeverReachedTheConsole) {
  Desktop desktop;
  desktop.encoder = encoder(false, false, false, true);
  desktop.encoder.unreachableConsole = 4;
  recordAndStop(desktop, kStopAt);
  EXPECT_EQ(desktop.saidStartingWith(
                "could not reach the encoder's console to type its stop key (error 6)"),
            1);
  EXPECT_EQ(
      desktop.saidStartingWith("could not reach the encoder's console to send Ctrl+C (error 6)"),
      1);
  EXPECT_EQ(desktop.saidStartingWith("sent Ctrl+C to the encoder's console at attempt 3"), 1);
  EXPECT_EQ(desktop.launched().signals, 1);
  EXPECT_TRUE(desktop.launched().fileFinished());

  Desktop refusing;
  refusing.encoder = encoder(false, false, true, true);
  refusing.encoder.consoleRefuses = true;
  recordAndStop(refusing, kStopAt);
  EXPECT_EQ(refusing.count(
                "attached to the encoder's console, but could not type its stop key (error 87)"),
            1);
  EXPECT_EQ(
      refusing.count("attached to the encoder's console, but could not send Ctrl+C (error 87)"), 1);
  EXPECT_EQ(refusing.finish()->finish, EncoderFinish::kEnded);
}

TEST(StopTest, AStopCommandThatCouldNotAskAnyoneHasTheEncoderAskedAtOnce) {
  const char kAtBound[] =
      "the stop command had not returned within 3 s; ended its interpreter and all it started";
  const struct {
    const char* what;
    testing::Interpreter interpreter;
    const char* line;
    uint32_t exitAfterStop;
  } cases[] = {
      {"only the fallback starts", testing::Interpreter::kOnlyFallback,
       "%ComSpec% could not be started; ran the stop command through cmd.exe in the system "
       "directory",
       500},
      {"no interpreter starts", testing::Interpreter::kNone,
       "no command interpreter could be started; the stop command did not run", 200},
      {"it hangs", testing::Interpreter::kHangs, kAtBound, 3200},
      {"it hangs, and what it started outlives it", testing::Interpreter::kHangsAndOutlives,
       "the stop command had not returned within 3 s; ended its interpreter and all it started, "
       "but something of it was still running 5 s later",
       8200},
  };
  for (const auto& c : cases) {
    Desktop desktop;
    desktop.interpreter = c.interpreter;
    recordAndStop(desktop, kStopAt);
    EXPECT_EQ(desktop.count(c.line), 1) << c.what;
    EXPECT_EQ(*desktop.launched().exitAt - kStopAt, c.exitAfterStop) << c.what;
    EXPECT_TRUE(desktop.launched().fileFinished()) << c.what;
  }
}

TEST(StopTest, AStopCommandEndedAtItsBoundIsNotRunAgainInThatRun) {
  Desktop desktop;
  desktop.interpreter = testing::Interpreter::kHangs;
  desktop.runEarlierEncoder({});  // so the stop command runs before the launch too
  recordAndStop(desktop, 5000);
  EXPECT_EQ(desktop.stopCommandsAt.size(), 1u);
  EXPECT_EQ(desktop.saidStartingWith("not running the stop command again: it had not returned "
                                     "within 3 s before"),
            1);
  // The launch goes on at the bound, waiting for nobody: the command asked no one.
  EXPECT_EQ(desktop.launches.at(0).at, 3000u);
  EXPECT_EQ(*desktop.launched().exitAt, 5000u + 200) << "asked through its console at once";
}

TEST(StopTest, AnyOtherEndOfTheRunAsksTheEncoderItselfAndNoOtherRecording) {
  for (const bool quit : {true, false}) {
    Desktop desktop;
    desktop.addWindow("Demo", kDemoRect);
    if (quit) {
      desktop.quitAt(kStopAt);
    } else {
      desktop.waitFailsAt = kStopAt;
    }
    runLauncher(desktop, InvocationText{"Demo#C:\\a.avi", {}}, kSwShowDefault);
    EXPECT_EQ(desktop.count(quit ? "a quit message ended the run without a stop request; asking "
                                   "the encoder to finish"
                                 : "waiting for messages failed; asking the encoder to finish"),
              1);
    EXPECT_TRUE(desktop.stopCommandsAt.empty()) << "the others' encoders are not this run's to end";
    EXPECT_FALSE(desktop.controlWindowOpen);
    EXPECT_EQ(desktop.finish()->finish, EncoderFinish::kStopKey);
    EXPECT_EQ(desktop.finish()->msAfterStopCommand, std::nullopt);
  }
}

TEST(StopTest, TheWorstCaseLiesWithinTheCallerHeadersDefaultDeadline) {
  // Every bound at once: the command hangs and outlives its end, the encoder
  // hears nothing, and ending it does not take.
  Desktop desktop;
  desktop.interpreter = testing::Interpreter::kHangsAndOutlives;
  desktop.encoder = encoder(false, false, false, false);
  desktop.encoder.endable = false;
  const uint32_t took = recordAndStop(desktop, kStopAt);
  EXPECT_LE(took, kWorstStopMs);
  EXPECT_GT(took, kWorstStopMs - 1000) << "every bound was waited for";
  EXPECT_LT(kWorstStopMs, caller::kDefaultStopDeadlineMs);
}

}  // namespace
}  // namespace zeltra
