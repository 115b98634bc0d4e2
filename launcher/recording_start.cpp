// The recording start, run once between showing the control window and
// serving its messages.
#include "launcher/recording_start.h"

#include <algorithm>
#include <optional>

#include "launcher/diagnostics.h"
#include "launcher/encoder_command.h"
#include "launcher/encoder_stop.h"
#include "launcher/invocation.h"
#include "launcher/message_pump.h"
#include "launcher/target_wait.h"
#include "launcher/windows_constants.h"

namespace zeltra {
namespace {

// Rejects an invocation that cannot be recorded, saying why, before anything
// is waited for, stopped or started.
std::optional<InvocationFields> readUsableInvocation(Platform& platform,
                                                     std::string_view commandLineText) {
  std::optional<InvocationFields> fields = parseInvocation(commandLineText);
  if (!fields) {
    diagnose(platform,
             "the command line names no output path (expected title#pathHead#pathTail); "
             "nothing to record");
    return std::nullopt;
  }
  if (holdsDoubleQuote(fields->outputPath())) {
    diagnose(platform,
             "the output path holds a double quote, which no Windows path can "
             "(was the whole argument quoted?); nothing to record");
    return std::nullopt;
  }
  return fields;
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

}  // namespace

std::wstring readOwnModulePath(Platform& platform) {
  for (uint32_t capacity = kMaxPath;; capacity *= 2) {
    std::wstring buffer(capacity, L'\0');
    const uint32_t length = platform.readModuleFileName(buffer.data(), capacity);
    // A full buffer means the path was cut short; read it again, larger.
    if (length < capacity || capacity >= kLongestModulePath) {
      buffer.resize(std::min(length, capacity));
      return buffer;
    }
  }
}

ProcessHandle launchEncoder(Platform& platform, const std::wstring& encoderPath,
                            const std::string& parameters) {
  ShellLaunchRequest request;
  // No UI: a failed launch must not raise an error box, which would block the
  // only thread and with it the caller's stop request. No zone check: for an
  // encoder still marked as downloaded the shell would otherwise ask first,
  // in a modal loop that serves a stop message in the middle of the launch,
  // or refuse it. Whoever put ffmpeg.exe beside the launcher chose it.
  request.mask = kSeeMaskNoCloseProcess | kSeeMaskFlagNoUi | kSeeMaskNoZoneChecks;
  request.verb = L"open";
  request.file = encoderPath;
  // The same conversion the "A" shell call made: the encoder's command line
  // holds the very characters the ANSI line stands for.
  request.parameters = platform.fromAnsiCodePage(parameters);
  // Minimized and not activated: an activated console would take the
  // keyboard from the recorded window, and a "q" typed there ends a recording.
  request.showMode = kSwShowMinNoActive;
  // Ctrl+C through its console is how the launcher asks its encoder to
  // finish where the stop command does not reach it.
  platform.stopIgnoringCtrlC();
  return platform.launchProcess(request);
}

RecordingStart startRecording(Platform& platform, CaptureTarget& target,
                              std::string_view commandLineText, StopCommandHistory& stopCommand) {
  const std::optional<InvocationFields> fields = readUsableInvocation(platform, commandLineText);
  if (!fields) {
    return {StartOutcome::kNothingToRecord, nullptr};
  }
  // Wide: a folder the ANSI code page cannot hold would come back changed.
  const std::wstring encoderPath = encoderPathFor(readOwnModulePath(platform));
  // The lines name it in the ANSI code page, as they always have.
  const std::string encoderShown = platform.toAnsiCodePage(encoderPath);
  const LeadByteTest isLeadByte = [&platform](uint8_t byte) { return platform.isLeadByte(byte); };

  if (awaitMeasurableTarget(platform, target, fields->targetTitle) == TargetWait::kStopped) {
    diagnose(platform, "stopped while waiting for the window; no encoder started");
    return {StartOutcome::kStoppedEarly, nullptr};
  }
  const std::string parameters =
      buildEncoderParameters(target, fields->outputHead, fields->outputTail, isLeadByte);
  // A stop request that came while measuring or stopping is served now: once
  // launched, an encoder that has no window yet would not hear the stop command.
  if (stopEncodersBeforeLaunch(platform, stopCommand) == BeforeLaunch::kStopped ||
      servePendingMessages(platform) == PumpResult::kQuitTaken) {
    diagnose(platform, "stopped before the encoder was started; none started");
    return {StartOutcome::kStoppedEarly, nullptr};
  }
  diagnose(platform, "starting " + encoderShown + " " + parameters);
  const ProcessHandle encoder = launchEncoder(platform, encoderPath, parameters);
  if (encoder == nullptr) {
    diagnose(platform, "could not start " + encoderShown + "; nothing is recorded");
  }
  platform.pause(kSettlingPauseMs);
  return {StartOutcome::kLaunchAttempted, encoder};
}

}  // namespace zeltra
