// The launcher's entry, its control window and the stop protocol.
//
// One thread, one pass: create the control window, start the recording, serve
// messages until a stop request ends the run, see the launcher's own encoder
// through to its end, return 0. There is no other result: the caller learns
// of failures only through the diagnostic lines.
//
// A caller sees two signals: the control window vanishes once the stop has
// been accepted (the stop command has run), and the process exits once the
// launcher is done with the encoder's file.
#include "launcher/launcher_entry.h"

#include <memory>

#include "launcher/diagnostics.h"
#include "launcher/recording_start.h"
#include "launcher/stop.h"

namespace zeltra {

struct LauncherRun {
  Platform& platform;
  StopOutcome stop;
  // Whether the stop command was ended at its bound, before the launch or on a stop.
  StopCommandHistory stopCommand;
};

namespace {

// The control window must never cover the recorded window nor take its focus:
// any show request becomes a minimized, inactive show (still on the taskbar,
// where a person can close it to stop), and a hidden start stays hidden.
int32_t unobtrusiveShowMode(int32_t requested) {
  return requested == kSwHide ? kSwHide : kSwShowMinNoActive;
}

// Serves messages until the run's events end; the launcher's own encoder
// ending before that is said at once, the one clue to why nothing is recorded.
Event serveUntilStopped(Platform& platform, RecordingStart& start) {
  for (;;) {
    const Event event =
        platform.waitForEvent(start.encoder.get(), /*watchWindows=*/false, kWaitForever);
    if (event != Event::kProcessExited) return event;
    reportEncoderEndedOnItsOwn(platform, *start.encoder, start.scalePercent);
    start.encoder.reset();  // an ended process would wake every wait at once
  }
}

}  // namespace

MessageAnswer controlWindowProc(LauncherRun& run, uint32_t message) {
  if (message == kWmDestroy || message == kStopMessage) {
    acceptStopRequest(run.platform, run.stop, run.stopCommand);
    return MessageAnswer::kHandled;
  }
  return MessageAnswer::kDefault;
}

int runLauncher(Platform& platform, const InvocationText& invocation, int32_t showMode) {
  LauncherRun run{platform, StopOutcome{}, StopCommandHistory{}};
  if (!platform.openControlWindow(
          kControlWindowName, unobtrusiveShowMode(showMode),
          [&run](uint32_t message) { return controlWindowProc(run, message); })) {
    diagnose(platform, "could not create the control window; nothing started");
    return 0;
  }
  RecordingStart start = startRecording(platform, invocation, run.stopCommand);
  if (start.outcome != StartOutcome::kLaunchAttempted) {
    return 0;
  }
  const Event end = serveUntilStopped(platform, start);
  if (run.stop.cause == StopCause::kNone) {
    endWithoutStopRequest(platform, run.stop, end);
  }
  if (start.encoder) {
    seeEncoderThrough(platform, *start.encoder, run.stop);
  }
  return 0;
}

}  // namespace zeltra
