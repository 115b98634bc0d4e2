// The launcher's entry, its control window and the stop protocol.
//
// One thread, one pass: create the control window, start the recording, serve
// messages until a stop request posts the quit, wait for the encoder to
// finish its file, return 0. There is no other result: the caller learns of
// failures only through the diagnostic lines.
#include "launcher/launcher_entry.h"

#include "launcher/diagnostics.h"
#include "launcher/message_pump.h"
#include "launcher/recording_start.h"
#include "launcher/windows_constants.h"

namespace zeltra {
namespace {

// What the window procedure needs of the run; it has no other way in, being
// called by the platform with the window's arguments only.
struct Session {
  Platform& platform;
  bool stopHandled = false;  // a stop request runs the stop command once per run
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

void handleStopRequest(Session& session) {
  if (!session.stopHandled) {
    session.stopHandled = true;
    stopEncoders(session.platform);
  }
  session.platform.postQuit(0);
}

// Once asked to close, the encoder takes a moment to finish its file; the
// caller may take the file as soon as the launcher exits, so wait for that.
void awaitEncoderExit(Platform& platform, ProcessHandle encoder) {
  if (encoder == nullptr) {
    return;
  }
  if (!platform.waitForProcessExit(encoder, kEncoderExitWaitMs)) {
    diagnose(platform, "the encoder is still running 10 s after the stop; leaving it");
  }
  platform.releaseProcess(encoder);
}

}  // namespace

void stopEncoders(Platform& platform) {
  diagnose(platform, std::string("asking every ffmpeg.exe to close: ") + kStopCommand);
  platform.runHiddenCommand(kStopCommand);
}

intptr_t controlWindowProc(WindowHandle window, uint32_t message, uintptr_t wParam,
                           intptr_t lParam) {
  Session* session = activeSession;
  if (session == nullptr) {
    // The window outlived its run (torn down at exit): nothing is left to stop.
    return 0;
  }
  if (message == kWmDestroy || message == kStopMessage) {
    handleStopRequest(*session);
    return 0;
  }
  return session->platform.defaultWindowProcedure(window, message, wParam, lParam);
}

int runLauncher(Platform& platform, InstanceHandle instance, const char* commandLineText,
                int32_t showMode) {
  Session session{platform};
  ActiveSession active(session);

  platform.registerWindowClass(kControlWindowName, controlWindowProc, instance);
  const WindowHandle window = platform.createWindow(controlWindowRequest(instance));
  if (window == nullptr) {
    diagnose(platform, "could not create the control window; nothing started");
    return 0;
  }
  platform.showWindow(window, unobtrusiveShowMode(showMode));

  CaptureTarget target;
  const RecordingStart start =
      startRecording(platform, target, commandLineText != nullptr ? commandLineText : "");
  if (start.outcome != StartOutcome::kLaunchAttempted) {
    return 0;
  }
  serveMessagesUntilQuit(platform);
  awaitEncoderExit(platform, start.encoder);
  return 0;
}

}  // namespace zeltra
