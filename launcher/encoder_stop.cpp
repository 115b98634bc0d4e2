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

#include "launcher/capture_region.h"
#include "launcher/diagnostics.h"
#include "launcher/interpreter_run.h"

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

void askThroughConsole(Platform& platform, ProcessHandle encoder) {
  if (!platform.interruptConsoleProcess(encoder)) {
    diagnose(platform, "could not reach the encoder's console to ask it to finish");
  }
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

StopCommandResult stopEncoders(Platform& platform, StopCommandHistory& history) {
  if (history.endedAtBound) {
    diagnose(platform, "not running the stop command again: it had not returned within " +
                           boundText() + " before");
    return StopCommandResult::kNotRun;
  }
  diagnose(platform, std::string("asking every ffmpeg.exe to close: ") + kStopCommand);
  switch (platform.runHiddenCommand(kStopCommand, kStopCommandBoundMs)) {
    case CommandOutcome::kRan:
      break;
    case CommandOutcome::kRanByFallback:
      diagnose(platform,
               "%ComSpec% could not be started; ran the stop command through cmd.exe in the "
               "system directory");
      break;
    case CommandOutcome::kInterpreterFailed:
      diagnose(platform, "no command interpreter could be started; the stop command did not run");
      return StopCommandResult::kNotRun;
    case CommandOutcome::kEndedAtBound:
      history.endedAtBound = true;
      diagnose(platform, "the stop command had not returned within " + boundText() +
                             "; ended its interpreter and all it started");
      return StopCommandResult::kEndedAtBound;
    case CommandOutcome::kStillRunningAtBound:
      history.endedAtBound = true;
      diagnose(platform, "the stop command had not returned within " + boundText() +
                             "; ended its interpreter and all it started, but something of it "
                             "was still running " +
                             formatDecimal(kEndedProcessWaitMs / 1000) + " s later");
      return StopCommandResult::kEndedAtBound;
  }
  return StopCommandResult::kReturned;
}

void stopEncodersBeforeLaunch(Platform& platform, StopCommandHistory& history) {
  if (!platform.isProcessRunning(kEncoderImageName)) {
    diagnose(platform, "no ffmpeg.exe is running; nothing to stop before the launch");
    return;
  }
  stopEncoders(platform, history);
}

void finishOwnEncoder(Platform& platform, ProcessHandle encoder, FinishRequest askedSoFar,
                      std::optional<uint32_t> stopCommandReturnedMs) {
  if (encoder == nullptr) {
    return;
  }
  uint32_t waited = 0;
  if (askedSoFar == FinishRequest::kStopCommand) {
    if (platform.waitForProcessExit(encoder, kStopGraceMs)) {
      reportFinishAfterStopCommand(platform, stopCommandReturnedMs);
      platform.releaseProcess(encoder);
      return;
    }
    waited = kStopGraceMs;
    diagnose(platform,
             "the encoder has not finished on the stop command; asking it once more with "
             "Ctrl+C through its console");
  }
  askThroughConsole(platform, encoder);
  if (!platform.waitForProcessExit(encoder, kEncoderExitWaitMs - waited)) {
    platform.terminateProcess(encoder, kTerminatedExitCode);
    diagnose(platform, "the encoder was still running " + formatDecimal(kEncoderExitWaitMs / 1000) +
                           " s after the stop; ended it, its file will be unfinished");
  } else {
    reportFinishAfterStopCommand(platform, stopCommandReturnedMs);
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
