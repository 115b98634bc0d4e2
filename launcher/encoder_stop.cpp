// Stopping encoders.
//
// The stop command asks by image name, through each encoder's console window.
// Where a console program has no window of its own (a pseudoconsole session,
// or Wine's console) that request goes unheard, and an encoder started just
// before the stop may not listen yet. So the launcher follows its own encoder
// to the end: once more through its console, then, after the time limit, by
// ending it. The real encoder abandons its file after more than three close
// signals, so the launcher sends at most one of its own.
#include "launcher/encoder_stop.h"

#include <string>
#include <vector>

#include "launcher/capture_region.h"
#include "launcher/diagnostics.h"
#include "launcher/interpreter_run.h"
#include "launcher/message_pump.h"

namespace zeltra {
namespace {

std::string describeExitCode(uint32_t code) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text = formatDecimal(code);
  // Codes with the high bit set are status values, which are read in hex.
  if (code >= 0x80000000u) {
    std::string hex;
    for (int shift = 28; shift >= 0; shift -= 4) hex += kDigits[(code >> shift) & 0xF];
    text += " (0x" + hex + ")";
  }
  return text;
}

std::string boundText() { return formatDecimal(kStopCommandBoundMs / 1000) + " s"; }

// Says what each step of the Ctrl+C did, so that one that never reached the
// encoder is told from one the encoder did not act on; a failure is said on
// the first attempt only. True when it reached the encoder's console.
bool askThroughConsole(Platform& platform, ProcessHandle encoder, int attempt) {
  const ConsoleInterrupt interrupt = platform.interruptConsoleProcess(encoder);
  const bool first = attempt == 1;
  if (interrupt.releasedHeldConsole && first) {
    diagnose(platform, "let go of the console it held, to attach to the encoder's");
  }
  if (!interrupt.attached || !interrupt.sent) {
    if (first) {
      diagnose(platform,
               !interrupt.attached
                   ? "could not reach the encoder's console to ask it to finish (error " +
                         formatDecimal(interrupt.attachError) + ")"
                   : "attached to the encoder's console, but could not send Ctrl+C (error " +
                         formatDecimal(interrupt.sendError) + ")");
    }
    return false;
  }
  diagnose(platform,
           first ? std::string("sent Ctrl+C to the encoder's console")
                 : "sent Ctrl+C to the encoder's console at attempt " + formatDecimal(attempt));
  return true;
}

// Asks the encoder with Ctrl+C and waits up to budgetMs for its exit. The
// real encoder takes every console event it gets as one more signal, so a
// further Ctrl+C goes only where the earlier one never reached its console.
bool interruptAndWait(Platform& platform, ProcessHandle encoder, uint32_t budgetMs) {
  const uint32_t askedAt = platform.readTickCount();
  uint32_t left = budgetMs;
  bool exited = false;
  for (int attempt = 1;; ++attempt) {
    if (askThroughConsole(platform, encoder, attempt)) {
      exited = platform.waitForProcessExit(encoder, left);
      break;
    }
    const uint32_t pause = left < kCtrlCRetryMs ? left : kCtrlCRetryMs;
    exited = platform.waitForProcessExit(encoder, pause);
    left -= pause;
    if (exited || left == 0) break;
  }
  diagnose(platform,
           exited
               ? "the encoder exited " + formatDecimal(platform.readTickCount() - askedAt) +
                     " ms after the Ctrl+C"
               : "the encoder had not exited " + formatDecimal(budgetMs) + " ms after the Ctrl+C");
  return exited;
}

// Ends an encoder that did not finish in time, saying what came of it.
void endUnfinished(Platform& platform, ProcessHandle encoder) {
  const std::string limit = formatDecimal(kEncoderExitWaitMs / 1000) + " s";
  const Termination ending = platform.terminateProcess(encoder, kTerminatedExitCode);
  switch (ending.result) {
    case Termination::Result::kEnded:
      diagnose(platform, "the encoder was still running " + limit +
                             " after the stop; ended it, its file will be unfinished");
      return;
    case Termination::Result::kHadExited:
      diagnose(platform, "the encoder exited at the " + limit +
                             " limit, as it was to be ended; its file may be unfinished");
      return;
    case Termination::Result::kNotEnded:
      diagnose(platform, "the encoder was still running " + limit +
                             " after the stop, and could not be ended (error " +
                             formatDecimal(ending.error) + "); it may record on");
      return;
  }
}

// Whether text holds number as a whole number, not as part of a longer one.
bool holdsNumber(const std::string& text, const std::string& number) {
  for (size_t at = text.find(number); at != std::string::npos; at = text.find(number, at + 1)) {
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    const size_t after = at + number.size();
    if ((at == 0 || !isDigit(text[at - 1])) && (after == text.size() || !isDigit(text[after]))) {
      return true;
    }
  }
  return false;
}

// Waits, serving messages, until each of the earlier encoders the stop
// command asked to close is gone or kEncoderExitWaitMs have passed; releases
// them all.
BeforeLaunch awaitEarlierEncoders(Platform& platform, std::vector<RunningProcess>& earlier) {
  const uint32_t beganAt = platform.readTickCount();
  BeforeLaunch outcome = BeforeLaunch::kLaunch;
  size_t gone = 0;
  for (; gone < earlier.size() && outcome == BeforeLaunch::kLaunch;) {
    const uint32_t elapsed = platform.readTickCount() - beganAt;
    if (elapsed >= kEncoderExitWaitMs) break;
    switch (
        platform.waitForMessageOrProcessExit(earlier[gone].handle, kEncoderExitWaitMs - elapsed)) {
      case Wake::kProcessExited:
        ++gone;
        break;
      case Wake::kMessage:
        if (servePendingMessages(platform) == PumpResult::kQuitTaken) {
          outcome = BeforeLaunch::kStopped;
        }
        break;
      case Wake::kTimedOut:
      case Wake::kFailed:
        outcome = BeforeLaunch::kLaunch;
        gone = earlier.size() + 1;  // stop waiting; the count below is not read then
        break;
    }
  }
  const uint32_t waited = platform.readTickCount() - beganAt;
  if (outcome == BeforeLaunch::kLaunch) {
    diagnose(platform, gone == earlier.size()
                           ? "the ffmpeg.exe asked to close had gone " + formatDecimal(waited) +
                                 " ms after the stop command"
                           : "an ffmpeg.exe asked to close was still running " +
                                 formatDecimal(kEncoderExitWaitMs / 1000) +
                                 " s after the stop command; starting the encoder all the same");
  }
  for (const RunningProcess& process : earlier) platform.releaseProcess(process.handle);
  return outcome;
}

// Tells apart, for whoever reads the lines, an encoder that finished on the
// stop command (this line alone) from one that needed the launcher's Ctrl+C
// (this line after the one asking once more).
void reportFinishAfterStopCommand(Platform& platform,
                                  std::optional<uint32_t> stopCommandReturnedMs) {
  if (!stopCommandReturnedMs) {
    return;
  }
  // Unsigned, so the difference is right across the clock's wrap.
  const uint32_t elapsed = platform.readTickCount() - *stopCommandReturnedMs;
  diagnose(platform,
           "the encoder finished " + formatDecimal(elapsed) + " ms after the stop command");
}

}  // namespace

StopCommandRun stopEncoders(Platform& platform, StopCommandHistory& history) {
  if (history.endedAtBound) {
    diagnose(platform, "not running the stop command again: it had not returned within " +
                           boundText() + " before");
    return {};
  }
  diagnose(platform, std::string("asking every ffmpeg.exe to close: ") + kStopCommand);
  StopCommandRun run;
  switch (platform.runHiddenCommand(kStopCommand, kStopCommandBoundMs, run.report)) {
    case CommandOutcome::kRan:
      break;
    case CommandOutcome::kRanByFallback:
      diagnose(platform,
               "%ComSpec% could not be started; ran the stop command through cmd.exe in the "
               "system directory");
      break;
    case CommandOutcome::kInterpreterFailed:
      diagnose(platform, "no command interpreter could be started; the stop command did not run");
      return run;
    case CommandOutcome::kEndedAtBound:
      history.endedAtBound = true;
      diagnose(platform, "the stop command had not returned within " + boundText() +
                             "; ended its interpreter and all it started");
      run.result = StopCommandResult::kEndedAtBound;
      return run;
    case CommandOutcome::kStillRunningAtBound:
      history.endedAtBound = true;
      diagnose(platform, "the stop command had not returned within " + boundText() +
                             "; ended its interpreter and all it started, but something of it "
                             "was still running " +
                             formatDecimal(kEndedProcessWaitMs / 1000) + " s later");
      run.result = StopCommandResult::kEndedAtBound;
      return run;
  }
  run.result = StopCommandResult::kReturned;
  return run;
}

CloseRequest closeRequestFor(const StopCommandRun& run, uint32_t processId) {
  if (run.result != StopCommandResult::kReturned) return CloseRequest::kNotKnown;
  const std::string id = formatDecimal(processId);
  if (holdsNumber(run.report.errors, id)) return CloseRequest::kNotSent;
  return holdsNumber(run.report.output, id) ? CloseRequest::kSent : CloseRequest::kNotKnown;
}

BeforeLaunch stopEncodersBeforeLaunch(Platform& platform, StopCommandHistory& history) {
  // Noted before the stop command, so that the wait is for these very
  // processes, not for whatever holds their ids later.
  std::optional<std::vector<RunningProcess>> running =
      platform.findRunningProcesses(kEncoderImageName);
  if (running && running->empty()) {
    diagnose(platform, "no ffmpeg.exe is running; nothing to stop before the launch");
    return BeforeLaunch::kLaunch;
  }
  const StopCommandRun run = stopEncoders(platform, history);
  std::vector<RunningProcess> asked;
  for (const RunningProcess& process : running.value_or(std::vector<RunningProcess>{})) {
    // One the launcher cannot wait on (another session's), or one the stop
    // command could not close, would only cost every start the whole bound.
    if (process.handle == nullptr || closeRequestFor(run, process.id) == CloseRequest::kNotSent) {
      platform.releaseProcess(process.handle);
    } else {
      asked.push_back(process);
    }
  }
  if (asked.empty()) return BeforeLaunch::kLaunch;
  return awaitEarlierEncoders(platform, asked);
}

void finishOwnEncoder(Platform& platform, ProcessHandle encoder, FinishRequest askedSoFar,
                      std::optional<uint32_t> stopCommandReturnedMs, CloseRequest close) {
  if (encoder == nullptr) {
    return;
  }
  uint32_t waited = 0;
  if (askedSoFar == FinishRequest::kStopCommand) {
    // Only where the close request surely missed it does the Ctrl+C follow
    // soon; else the close is given its whole deadline first.
    const uint32_t firstWait = close == CloseRequest::kNotSent ? kStopGraceMs : kCloseDeadlineMs;
    if (platform.waitForProcessExit(encoder, firstWait)) {
      reportFinishAfterStopCommand(platform, stopCommandReturnedMs);
      platform.releaseProcess(encoder);
      return;
    }
    waited = firstWait;
    diagnose(platform, close == CloseRequest::kNotSent
                           ? "the stop command could not send the encoder its close request"
                           : "the stop command's close request had not finished the encoder in " +
                                 formatDecimal(kCloseDeadlineMs / 1000) + " s");
    diagnose(platform,
             "the encoder has not finished on the stop command; asking it once more with "
             "Ctrl+C through its console");
  }
  if (interruptAndWait(platform, encoder, kEncoderExitWaitMs - waited)) {
    reportFinishAfterStopCommand(platform, stopCommandReturnedMs);
  } else {
    endUnfinished(platform, encoder);
  }
  platform.releaseProcess(encoder);
}

void reportEncoderEndedOnItsOwn(Platform& platform, ProcessHandle encoder) {
  const ProcessExit exit = platform.readProcessExit(encoder);
  diagnose(platform, "the encoder ended on its own with exit code " +
                         describeExitCode(exit.exitCode) + " after " +
                         formatDecimal(static_cast<int64_t>(exit.ranMs)) +
                         " ms; nothing is being recorded");
}

}  // namespace zeltra
