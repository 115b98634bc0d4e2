// The recording start, run once between showing the control window and
// serving its messages.
#include "launcher/recording_start.h"

#include <optional>
#include <string>
#include <vector>

#include "launcher/capture_region.h"
#include "launcher/decimal_text.h"
#include "launcher/diagnostics.h"
#include "launcher/encoder_command.h"
#include "launcher/invocation.h"
#include "launcher/output_path.h"
#include "launcher/target_wait.h"

namespace zeltra {
namespace {

// Rejects an invocation that cannot be recorded, saying why, before anything
// is waited for, stopped or started.
std::optional<InvocationFields> readUsableInvocation(Platform& platform,
                                                     const InvocationText& invocation) {
  if (const std::optional<InvocationText::Inexact>& inexact = invocation.inexact) {
    diagnose(platform, "the command line's character " +
                           formatDecimal(static_cast<int64_t>(inexact->place) + 1) + ", " +
                           formatCodePoint(inexact->codePoint) +
                           ", has no exact form in the ANSI code page (" +
                           formatDecimal(inexact->codePage) + "); nothing to record");
    return std::nullopt;
  }
  std::optional<InvocationFields> fields = parseInvocation(invocation.text);
  if (!fields) {
    diagnose(platform,
             "the command line names no output path (expected title#pathHead#pathTail); "
             "nothing to record");
    return std::nullopt;
  }
  switch (findOutputPathFault(fields->outputPath())) {
    case OutputPathFault::kNone:
      return fields;
    case OutputPathFault::kHoldsDoubleQuote:
      diagnose(platform,
               "the output path holds a double quote, which no Windows path can "
               "(was the whole argument quoted?); nothing to record");
      break;
    case OutputPathFault::kNamesAProtocol:
      diagnose(platform, "the output path begins with a protocol's name (" +
                             fields->outputPath().substr(0, fields->outputPath().find(':') + 1) +
                             "), which the encoder would not write as a file; nothing to record");
      break;
    case OutputPathFault::kReadsAsAnOption:
      diagnose(platform,
               "the output path begins with \"-\", which the encoder would read as an option; "
               "nothing to record");
      break;
  }
  return std::nullopt;
}

// Waits for the target window until it can be measured; a window that closes
// between being found and being measured is waited for again.
TargetWait awaitMeasurableTarget(Platform& platform, CaptureTarget& target,
                                 const std::string& title) {
  for (;;) {
    if (locateTargetWindow(platform, target, title) == TargetWait::kStopped) {
      return TargetWait::kStopped;
    }
    if (measureCaptureRegion(platform, target)) {
      return TargetWait::kFound;
    }
    diagnose(platform, "the window vanished before it could be measured; waiting again");
  }
}

enum class BeforeLaunch { kLaunch, kStopped };

// Waits, serving messages, until each of the earlier encoders the stop
// command asked to close is gone or kEncoderExitWaitMs have passed: one still
// writing its file's end would share the file with the new one.
BeforeLaunch awaitEarlierEncoders(Platform& platform, const std::vector<Process*>& earlier) {
  const uint32_t beganAt = platform.readTickCount();
  size_t gone = 0;
  while (gone < earlier.size()) {
    const uint32_t elapsed = platform.readTickCount() - beganAt;
    if (elapsed >= kEncoderExitWaitMs) break;
    const Event event =
        platform.waitForEvent(earlier[gone], /*watchWindows=*/false, kEncoderExitWaitMs - elapsed);
    if (event == Event::kQuit) return BeforeLaunch::kStopped;
    if (event == Event::kProcessExited) ++gone;
    if (event == Event::kTimedOut || event == Event::kFailed) break;
  }
  diagnose(platform, gone == earlier.size()
                         ? "the ffmpeg.exe asked to close had gone " +
                               formatDecimal(platform.readTickCount() - beganAt) +
                               " ms after the stop command"
                         : "an ffmpeg.exe asked to close was still running " +
                               formatDecimal(kEncoderExitWaitMs / 1000) +
                               " s after the stop command; starting the encoder all the same");
  return BeforeLaunch::kLaunch;
}

// The stop command before a launch, so that no encoder left from an earlier
// run holds the file or the screen, and then the wait for those it asked to
// close. Skipped when no ffmpeg.exe is running: it could close nothing then,
// and it would delay the recording's start by the command interpreter's and
// taskkill's start-up.
BeforeLaunch stopEncodersBeforeLaunch(Platform& platform, StopCommandHistory& history) {
  // Noted before the stop command, so that the wait is for these very
  // processes, not for whatever holds their ids later.
  const std::optional<std::vector<RunningProcess>> running =
      platform.findRunningProcesses(kEncoderImageName);
  if (running && running->empty()) {
    diagnose(platform, "no ffmpeg.exe is running; nothing to stop before the launch");
    return BeforeLaunch::kLaunch;
  }
  const CommandRun run = runStopCommand(platform, history);
  // A command that did not return asked no one to close.
  if (run.end != CommandEnd::kReturned && run.end != CommandEnd::kReturnedByFallback) {
    return BeforeLaunch::kLaunch;
  }
  std::vector<Process*> asked;
  for (size_t i = 0; running && i < running->size(); ++i) {
    const RunningProcess& found = (*running)[i];
    // One the launcher cannot wait on (another session's), or one the stop
    // command could not close, would only cost every start the whole bound.
    if (found.process && closeRequestFor(run, found.id) != CloseRequest::kNotSent) {
      asked.push_back(found.process.get());
    }
  }
  return asked.empty() ? BeforeLaunch::kLaunch : awaitEarlierEncoders(platform, asked);
}

}  // namespace

RecordingStart startRecording(Platform& platform, const InvocationText& invocation,
                              StopCommandHistory& stopCommand) {
  const std::optional<InvocationFields> fields = readUsableInvocation(platform, invocation);
  if (!fields) {
    return {StartOutcome::kNothingToRecord, nullptr};
  }
  // Wide: a folder the ANSI code page cannot hold would come back changed.
  const std::wstring encoderPath = encoderPathFor(platform.readOwnPath());
  // The lines name it in the ANSI code page, as they always have.
  const std::string encoderShown = platform.toAnsiCodePage(encoderPath);

  CaptureTarget target;
  if (awaitMeasurableTarget(platform, target, fields->targetTitle) == TargetWait::kStopped) {
    diagnose(platform, "stopped while waiting for the window; no encoder started");
    return {StartOutcome::kStoppedEarly, nullptr};
  }
  // The same conversion the "A" shell call made: the encoder's command line
  // holds the very characters the ANSI invocation stands for.
  const std::wstring parameters =
      buildEncoderParameters(target, platform.fromAnsiCodePage(fields->outputPath()));

  // A stop request that came while measuring or stopping is served now: once
  // launched, an encoder that has no window yet would not hear the stop command.
  if (stopEncodersBeforeLaunch(platform, stopCommand) == BeforeLaunch::kStopped ||
      platform.waitForEvent(/*watched=*/nullptr, /*watchWindows=*/false, /*timeoutMs=*/0) ==
          Event::kQuit) {
    diagnose(platform, "stopped before the encoder was started; none started");
    return {StartOutcome::kStoppedEarly, nullptr};
  }
  diagnose(platform, "starting " + encoderShown + " " + platform.toAnsiCodePage(parameters));
  std::unique_ptr<Process> encoder = platform.startMinimized(encoderPath, parameters);
  if (!encoder) {
    diagnose(platform, "could not start " + encoderShown + "; nothing is recorded");
  }
  platform.pause(kSettlingPauseMs);
  return {StartOutcome::kLaunchAttempted, std::move(encoder), target.scalePercent};
}

}  // namespace zeltra
