// The stop, from the stop request to the launcher's exit.
//
// The stop command asks by image name, through each encoder's console window.
// Where a console program has no window of its own (a pseudoconsole session,
// or Wine's console) that request goes unheard, and an encoder started just
// before the stop may not listen yet. So the launcher follows its own encoder
// to the end: it gives the close request its time, then asks through the
// encoder's console, first with its stop key, then with Ctrl+C, and after the
// time limit ends it.
//
// The stop key comes first because it is no signal. The real encoder counts
// signals, and abandons the file it is finishing on a second one; a key it
// reads only while it records, so it cannot upset an encoder finishing on the
// close request. And under Wine a Ctrl+C reaches a program as a Unix signal,
// whose handler creates a thread: where the signal lands while the encoder's
// thread is inside the C library's allocator (copying the screen), that
// creation waits for the allocator's lock for good, and the encoder with it.
#include "launcher/stop.h"

#include <algorithm>
#include <string>

#include "launcher/decimal_text.h"
#include "launcher/diagnostics.h"

namespace zeltra {
namespace {

std::string seconds(uint32_t milliseconds) { return formatDecimal(milliseconds / 1000) + " s"; }

// Whether text holds number as a whole number, not as part of a longer one.
bool holdsNumber(const std::string& text, const std::string& number) {
  const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
  for (size_t at = text.find(number); at != std::string::npos; at = text.find(number, at + 1)) {
    const size_t after = at + number.size();
    if ((at == 0 || !isDigit(text[at - 1])) && (after == text.size() || !isDigit(text[after]))) {
      return true;
    }
  }
  return false;
}

bool returned(const CommandRun& run) {
  return run.end == CommandEnd::kReturned || run.end == CommandEnd::kReturnedByFallback;
}

const char* askedWith(ConsoleAsk ask) {
  return ask == ConsoleAsk::kStopKey ? "its stop key" : "the Ctrl+C";
}

// Says what each step of a request through the console did, so that one
// that never reached the encoder is told from one the encoder did not act
// on; a failure is said on the first attempt only. True when it reached the
// encoder's console.
bool askThroughConsole(Platform& platform, Process& encoder, ConsoleAsk ask, int attempt) {
  const ConsoleRequest request = encoder.askThroughConsole(ask);
  const bool first = attempt == 1;
  const std::string what = ask == ConsoleAsk::kStopKey ? "type its stop key" : "send Ctrl+C";
  if (request.releasedHeldConsole && first) {
    diagnose(platform, "let go of the console it held, to attach to the encoder's");
  }
  if (!request.attached || !request.sent) {
    if (first) {
      diagnose(platform, !request.attached
                             ? "could not reach the encoder's console to " + what + " (error " +
                                   formatDecimal(request.attachError) + ")"
                             : "attached to the encoder's console, but could not " + what +
                                   " (error " + formatDecimal(request.sendError) + ")");
    }
    return false;
  }
  std::string done = ask == ConsoleAsk::kStopKey
                         ? "typed the encoder's stop key, q, into its console"
                         : "sent Ctrl+C to the encoder's console";
  if (!first) done += " at attempt " + formatDecimal(attempt);
  diagnose(platform, done);
  return true;
}

// Asks the encoder through its console and waits up to waitMs for its exit;
// a request that never reached the console is tried again every
// kCtrlCRetryMs meanwhile, one that reached it never: a Ctrl+C repeated
// would be the encoder's second signal.
bool askAndWait(Platform& platform, Process& encoder, ConsoleAsk ask, uint32_t waitMs) {
  const uint32_t askedAt = platform.readTickCount();
  uint32_t left = waitMs;
  bool exited = false;
  for (int attempt = 1;; ++attempt) {
    if (askThroughConsole(platform, encoder, ask, attempt)) {
      exited = encoder.waitForExit(left);
      break;
    }
    const uint32_t pause = left < kCtrlCRetryMs ? left : kCtrlCRetryMs;
    exited = encoder.waitForExit(pause);
    left -= pause;
    if (exited || left == 0) break;
  }
  const uint32_t took = platform.readTickCount() - askedAt;
  diagnose(
      platform,
      exited ? "the encoder exited " + formatDecimal(took) + " ms after " + askedWith(ask)
             : "the encoder had not exited " + formatDecimal(took) + " ms after " + askedWith(ask));
  return exited;
}

// Ends an encoder that did not finish in time.
EncoderFinish endUnfinished(Process& encoder, uint32_t& error) {
  const Termination ending = encoder.terminate(kTerminatedExitCode, kEndedProcessWaitMs);
  error = ending.error;
  switch (ending.result) {
    case Termination::Result::kEnded:
      return EncoderFinish::kEnded;
    case Termination::Result::kHadExited:
      return EncoderFinish::kExitedAtLimit;
    case Termination::Result::kNotEnded:
      break;
  }
  return EncoderFinish::kNotEnded;
}

// The one line on how the encoder ended, with its key.
void sayHowItEnded(Platform& platform, const StopOutcome& stop, uint32_t error) {
  const std::string limit = seconds(kEncoderExitWaitMs);
  FinishKey key{*stop.encoder, std::nullopt};
  std::string text;
  switch (*stop.encoder) {
    case EncoderFinish::kStopCommand:
    case EncoderFinish::kStopKey:
    case EncoderFinish::kCtrlC: {
      const std::string on = *stop.encoder == EncoderFinish::kStopKey ? "on its stop key"
                             : *stop.encoder == EncoderFinish::kCtrlC ? "on the launcher's Ctrl+C"
                                                                      : "";
      if (stop.cause == StopCause::kRequest && returned(stop.command)) {
        // Unsigned, so the difference is right across the clock's wrap.
        key.msAfterStopCommand = platform.readTickCount() - stop.commandReturnedAt;
        text = "the encoder finished " + formatDecimal(*key.msAfterStopCommand) +
               " ms after the stop command" + (on.empty() ? "" : ", " + on);
      } else {
        text = "the encoder finished " + on;
      }
      break;
    }
    case EncoderFinish::kEnded:
      text = "the encoder was still running " + limit +
             " after the stop; ended it, its file will be unfinished";
      break;
    case EncoderFinish::kExitedAtLimit:
      text = "the encoder exited at the " + limit +
             " limit, as it was to be ended; its file may be unfinished";
      break;
    case EncoderFinish::kNotEnded:
      text = "the encoder was still running " + limit +
             " after the stop, and could not be ended (error " + formatDecimal(error) +
             "); it may record on";
      break;
    case EncoderFinish::kOnItsOwn:
      break;  // said when it happened
  }
  diagnose(platform, text + formatFinishKey(key));
}

}  // namespace

CloseRequest closeRequestFor(const CommandRun& run, uint32_t processId) {
  if (!returned(run) || processId == 0) return CloseRequest::kNotKnown;
  const std::string id = formatDecimal(processId);
  if (holdsNumber(run.errors, id)) return CloseRequest::kNotSent;
  return holdsNumber(run.output, id) ? CloseRequest::kSent : CloseRequest::kNotKnown;
}

CommandRun runStopCommand(Platform& platform, StopCommandHistory& history) {
  if (history.endedAtBound) {
    diagnose(platform, "not running the stop command again: it had not returned within " +
                           seconds(kStopCommandBoundMs) + " before");
    return {};
  }
  diagnose(platform, std::string("asking every ffmpeg.exe to close: ") + kStopCommand);
  CommandRun run =
      platform.runHiddenCommand(kStopCommand, kStopCommandBoundMs, kEndedProcessWaitMs);
  const std::string atBound = "the stop command had not returned within " +
                              seconds(kStopCommandBoundMs) +
                              "; ended its interpreter and all it started";
  switch (run.end) {
    case CommandEnd::kReturned:
      break;
    case CommandEnd::kReturnedByFallback:
      diagnose(platform,
               "%ComSpec% could not be started; ran the stop command through cmd.exe in the "
               "system directory");
      break;
    case CommandEnd::kNotRun:
      diagnose(platform, "no command interpreter could be started; the stop command did not run");
      break;
    case CommandEnd::kEndedAtBound:
      history.endedAtBound = true;
      diagnose(platform, atBound);
      break;
    case CommandEnd::kStillRunningAtBound:
      history.endedAtBound = true;
      diagnose(platform, atBound + ", but something of it was still running " +
                             seconds(kEndedProcessWaitMs) + " later");
      break;
  }
  return run;
}

void acceptStopRequest(Platform& platform, StopOutcome& stop, StopCommandHistory& history) {
  if (stop.cause != StopCause::kNone) {
    return;
  }
  stop.cause = StopCause::kRequest;
  stop.command = runStopCommand(platform, history);
  stop.commandReturnedAt = platform.readTickCount();
  platform.closeControlWindow();
}

void endWithoutStopRequest(Platform& platform, StopOutcome& stop, Event end) {
  stop.cause = end == Event::kQuit ? StopCause::kQuitFromOutside : StopCause::kWaitFailed;
  diagnose(platform, stop.cause == StopCause::kQuitFromOutside
                         ? "a quit message ended the run without a stop request; asking the "
                           "encoder to finish"
                         : "waiting for messages failed; asking the encoder to finish");
  platform.closeControlWindow();
}

void seeEncoderThrough(Platform& platform, Process& encoder, StopOutcome& stop) {
  const uint32_t began = platform.readTickCount();
  const auto leftOf = [&platform, began](uint32_t budgetMs) {
    const uint32_t elapsed = platform.readTickCount() - began;
    return elapsed >= budgetMs ? 0 : budgetMs - elapsed;
  };
  const auto finished = [&](EncoderFinish how) {
    stop.encoder = how;
    sayHowItEnded(platform, stop, 0);
  };
  // Only a stop command that returned has asked the encoder; without one it
  // is asked through its console at once.
  const bool commandAsked = stop.cause == StopCause::kRequest && returned(stop.command);
  const CloseRequest close =
      commandAsked ? closeRequestFor(stop.command, encoder.id()) : CloseRequest::kNotSent;
  if (commandAsked) {
    if (encoder.waitForExit(kStopGraceMs)) return finished(EncoderFinish::kStopCommand);
    diagnose(platform, close == CloseRequest::kNotSent
                           ? "the stop command could not send the encoder its close request; "
                             "asking it through its console"
                           : "the encoder had not finished " + formatDecimal(kStopGraceMs) +
                                 " ms after the stop command; asking it through its console");
  }
  // A Ctrl+C only once a close request that may have reached the encoder
  // has had its deadline; its stop key meanwhile, being no signal.
  const uint32_t ctrlCAfter =
      std::max(kStopKeyWaitMs, close == CloseRequest::kNotSent ? 0 : leftOf(kCloseDeadlineMs));
  if (askAndWait(platform, encoder, ConsoleAsk::kStopKey,
                 std::min(ctrlCAfter, leftOf(kEncoderExitWaitMs)))) {
    return finished(EncoderFinish::kStopKey);
  }
  if (leftOf(kEncoderExitWaitMs) > 0) {
    diagnose(platform, "the encoder has not finished on its stop key; asking it with Ctrl+C");
    if (askAndWait(platform, encoder, ConsoleAsk::kCtrlC, leftOf(kEncoderExitWaitMs))) {
      return finished(EncoderFinish::kCtrlC);
    }
  }
  uint32_t error = 0;
  stop.encoder = endUnfinished(encoder, error);
  sayHowItEnded(platform, stop, error);
}

void reportEncoderEndedOnItsOwn(Platform& platform, Process& encoder, int32_t scalePercent) {
  const ProcessExit exit = encoder.readExit();
  const std::string cause =
      scalePercent > 100 && exit.ranMs < kEndedAsItStartedMs
          ? "; the display is scaled to " + formatDecimal(scalePercent) +
                "%, where an encoder that is not DPI aware refuses a region on a monitor left of "
                "or above the primary one, a likely cause"
          : "";
  diagnose(platform, "the encoder ended on its own with exit code " +
                         formatExitCode(exit.exitCode) + " after " +
                         formatDecimal(static_cast<int64_t>(exit.ranMs)) +
                         " ms; nothing is being recorded" + cause +
                         formatFinishKey({EncoderFinish::kOnItsOwn, std::nullopt}));
}

}  // namespace zeltra
