// Ctrl+C, Ctrl+Break and the console's close, turned into an event that the
// check's own waits include, so that it stops what it started instead of
// leaving a launcher and its encoder recording. Windows only.
//
// Windows calls a console control handler on a thread of its own. For Ctrl+C
// and Ctrl+Break the handler only sets the event: the check goes on, stops its
// recording through the caller header, removes its folder and exits with 1.
// For the console's close (and the session's end) Windows ends the process as
// soon as the handler returns, and about 5 s after the close at the latest;
// so the handler waits, boundedly, for the main thread to post the stop and
// see it accepted, and the launcher finishes its file by itself.
#pragma once

#include <windows.h>

namespace zeltra::check {

enum class Interruption { kNone, kCtrlC, kConsoleClosing };

// Installs the handler; once, before the first step.
void watchForInterruption();
// Takes the handler away again: from then on Ctrl+C ends the check at once.
void stopWatchingForInterruption();

// Manual-reset, set on the first interruption and never reset.
HANDLE interruptionEvent();
Interruption interruption();
inline bool interrupted() { return interruption() != Interruption::kNone; }

// The main thread has done what it does when the console closes; the handler
// may return, and Windows end the process.
void interruptionHandled();

// Waits waitMs on the interruption event alone: false when interrupted.
bool pauseUnlessInterrupted(DWORD waitMs);

}  // namespace zeltra::check
