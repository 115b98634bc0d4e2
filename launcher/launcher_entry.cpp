// The launcher's entry, its control window and the stop protocol.
//
// One thread, one pass: create the control window, start the recording, serve
// messages until a stop request posts the quit, see the launcher's own encoder
// through to its end, return 0. There is no other result: the caller learns
// of failures only through the diagnostic lines.
//
// A caller sees two signals: the control window vanishes once the stop has
// been accepted (the stop command has run), and the process exits once the
// encoder has finished its file, or was ended unfinished after the time limit.
#include "launcher/launcher_entry.h"

#include <optional>

#include "launcher/diagnostics.h"
#include "launcher/encoder_stop.h"
#include "launcher/message_pump.h"
#include "launcher/recording_start.h"
#include "launcher/windows_constants.h"

namespace zeltra {
namespace {

// What the window procedure needs of the run; it has no other way in, being
// called by the platform with the window's arguments only.
struct Session {
  Platform& platform;
  // Set once a stop is under way: later requests, and the WM_DESTROY of the
  // launcher's own destruction of the window, are not new stops.
  bool stopHandled = false;
  // The tick at which the stop request's command returned, once it has run,
  // and what it said.
  std::optional<uint32_t> stopCommandReturnedMs;
  StopCommandRun stopRun;
  // Whether the stop command was ended at its bound, before the launch or on a stop.
  StopCommandHistory stopCommand;
};

Session* activeSession = nullptr;

// Makes the session reachable from the window procedure for the duration of
// the run. Afterwards the procedure acts on nothing: Windows' teardown of the
// thread's windows at exit (WM_DESTROY included) must not stop encoders.
class ActiveSession {
 public:
  explicit ActiveSession(Session& session) { activeSession = &session; }
  ~ActiveSession() { activeSession = nullptr; }
  ActiveSession(const ActiveSession&) = delete;
  ActiveSession& operator=(const ActiveSession&) = delete;
};

WindowRequest controlWindowRequest(InstanceHandle instance) {
  WindowRequest request;
  request.extendedStyle = 0;
  request.className = kControlWindowName;
  request.title = kControlWindowName;
  request.style = kWsOverlappedWindow;
  request.x = kCwUseDefault;
  request.y = kCwUseDefault;
  request.width = kCwUseDefault;
  request.height = kCwUseDefault;
  request.instance = instance;
  return request;
}

// The control window must never cover the recorded window nor take its focus:
// any show request becomes a minimized, inactive show (still on the taskbar,
// where a person can close it to stop), and a hidden start stays hidden.
int32_t unobtrusiveShowMode(int32_t requested) {
  return requested == kSwHide ? kSwHide : kSwShowMinNoActive;
}

// The stop command runs once; then the window goes, so that a caller sees at
// once that the stop was accepted, and nothing sent to it blocks while the
// encoder finishes.
void handleStopRequest(Session& session, WindowHandle window, uint32_t message) {
  if (session.stopHandled) {
    return;
  }
  session.stopHandled = true;
  session.stopRun = stopEncoders(session.platform, session.stopCommand);
  if (session.stopRun.result == StopCommandResult::kReturned) {
    session.stopCommandReturnedMs = session.platform.readTickCount();
  }
  if (message != kWmDestroy) {
    session.platform.destroyWindow(window);
  }
  session.platform.postQuit(0);
}

// The loop ended without a stop request (a quit posted to the thread by
// another program, or a failing wait): nobody serves the window any more, and
// the encoder must not record on with nobody left to stop it.
FinishRequest endWithoutStopRequest(Session& session, WindowHandle window, LoopEnd end) {
  session.stopHandled = true;
  diagnose(session.platform, end == LoopEnd::kQuit
                                 ? "a quit message ended the run without a stop request; "
                                   "asking the encoder to finish"
                                 : "waiting for messages failed; asking the encoder to finish");
  session.platform.destroyWindow(window);
  return FinishRequest::kNone;
}

}  // namespace

intptr_t controlWindowProc(WindowHandle window, uint32_t message, uintptr_t wParam,
                           intptr_t lParam) {
  Session* session = activeSession;
  if (session == nullptr) {
    // The window outlived its run (torn down at exit): nothing is left to stop.
    return 0;
  }
  if (message == kWmDestroy || message == kStopMessage) {
    handleStopRequest(*session, window, message);
    return 0;
  }
  return session->platform.defaultWindowProcedure(window, message, wParam, lParam);
}

int runLauncher(Platform& platform, InstanceHandle instance, const char* commandLineText,
                int32_t showMode) {
  Session session{platform, /*stopHandled=*/false, /*stopCommandReturnedMs=*/std::nullopt,
                  StopCommandRun{}, StopCommandHistory{}};
  ActiveSession active(session);

  platform.registerWindowClass(kControlWindowName, controlWindowProc, instance);
  const WindowHandle window = platform.createWindow(controlWindowRequest(instance));
  if (window == nullptr) {
    diagnose(platform, "could not create the control window; nothing started");
    return 0;
  }
  platform.showWindow(window, unobtrusiveShowMode(showMode));

  CaptureTarget target;
  const RecordingStart start = startRecording(
      platform, target, commandLineText != nullptr ? commandLineText : "", session.stopCommand);
  if (start.outcome != StartOutcome::kLaunchAttempted) {
    return 0;
  }
  ProcessHandle encoder = start.encoder;
  const LoopEnd end = serveMessagesUntilQuit(platform, encoder, [&platform, &encoder] {
    reportEncoderEndedOnItsOwn(platform, encoder);
    platform.releaseProcess(encoder);
    encoder = nullptr;
  });
  // A stop whose command did not return asks the encoder itself, at once.
  const FinishRequest asked = !session.stopHandled ? endWithoutStopRequest(session, window, end)
                              : session.stopCommandReturnedMs ? FinishRequest::kStopCommand
                                                              : FinishRequest::kNone;
  const CloseRequest close = encoder != nullptr
                                 ? closeRequestFor(session.stopRun, platform.readProcessId(encoder))
                                 : CloseRequest::kNotKnown;
  finishOwnEncoder(platform, encoder, asked, session.stopCommandReturnedMs, close);
  return 0;
}

}  // namespace zeltra
