// Interruptions from the console (see interruption.h).
#include "check/interruption.h"

namespace zeltra::check {
namespace {

// What the main thread may take once the console closes: up to 1 s for the
// launcher's control window, 1 s for the stop to be accepted, and the rest
// of a step's poll. Below the about 5 s after which Windows ends the process
// whatever the handler does; at the bound the handler returns, which ends it.
constexpr DWORD kCloseHandlingLimitMs = 3000;

// Both live as long as the process: the handler's thread may still run while
// the main thread returns from main.
HANDLE interruptionSet = nullptr;
HANDLE handledSet = nullptr;
volatile LONG kind = static_cast<LONG>(Interruption::kNone);

BOOL WINAPI onConsoleEvent(DWORD event) {
  const bool closing =
      event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT;
  // The close outranks a Ctrl+C before it: only the close limits the time left.
  if (closing) {
    ::InterlockedExchange(&kind, static_cast<LONG>(Interruption::kConsoleClosing));
  } else {
    ::InterlockedCompareExchange(&kind, static_cast<LONG>(Interruption::kCtrlC),
                                 static_cast<LONG>(Interruption::kNone));
  }
  ::SetEvent(interruptionSet);
  if (closing) ::WaitForSingleObject(handledSet, kCloseHandlingLimitMs);
  return TRUE;
}

}  // namespace

void watchForInterruption() {
  interruptionSet = ::CreateEventA(nullptr, /*bManualReset=*/TRUE, FALSE, nullptr);
  handledSet = ::CreateEventA(nullptr, /*bManualReset=*/TRUE, FALSE, nullptr);
  // Ignoring Ctrl+C is inherited: a program started by one that ignores it
  // (Wine's start from a pipe does) would never hear it, and a person's
  // Ctrl+C would end the check only at its console's close.
  ::SetConsoleCtrlHandler(/*HandlerRoutine=*/nullptr, /*Add=*/FALSE);
  ::SetConsoleCtrlHandler(onConsoleEvent, /*Add=*/TRUE);
}

void stopWatchingForInterruption() { ::SetConsoleCtrlHandler(onConsoleEvent, /*Add=*/FALSE); }

HANDLE interruptionEvent() { return interruptionSet; }

Interruption interruption() {
  return static_cast<Interruption>(::InterlockedCompareExchange(&kind, 0, 0));
}

void interruptionHandled() { ::SetEvent(handledSet); }

bool pauseUnlessInterrupted(DWORD waitMs) {
  return ::WaitForSingleObject(interruptionSet, waitMs) == WAIT_TIMEOUT;
}

}  // namespace zeltra::check
