// The stop: from a stop request, or the run's other end, to the launcher's
// exit, read top to bottom in stop.cpp, and the stop command, which the
// recording start runs too. One outcome (StopOutcome) carries what happened,
// and its lines follow from it. Every bound the stop waits for is here, with
// its reason, and so is the worst case they add up to.
#pragma once

#include <cstdint>
#include <optional>

#include "launcher/encoder_finish.h"
#include "platform/platform.h"

namespace zeltra {

inline constexpr char kEncoderImageName[] = "ffmpeg.exe";
inline constexpr char kStopCommand[] = "taskkill /IM ffmpeg.exe";

// The stop command returns in 100-400 ms. An interpreter still running after
// this waits for something that will not come (an AutoRun command waiting for
// input on the hidden console), and the stop must not wait with it: it and
// all it started are ended.
inline constexpr uint32_t kStopCommandBoundMs = 3000;
// Ending a process is asynchronous: what the launcher ends is waited for this
// long, so that a taskkill still running cannot close the encoder started
// next and whoever comes next sees it gone. At the bound it goes on regardless.
inline constexpr uint32_t kEndedProcessWaitMs = 5000;
// How long an encoder may take to finish its file after the stop before it is
// ended unfinished. The start waits as long for the encoders the stop command
// asked to close, which finish their files alike.
inline constexpr uint32_t kEncoderExitWaitMs = 10000;
// How long the encoder may take to finish on the stop command's close request
// before the launcher asks it through its console: a close request that
// reached it finishes a file of this launcher's kind well within this.
inline constexpr uint32_t kStopGraceMs = 500;
// The encoder reads its stop key every 100 ms or so and then finishes a file
// of this launcher's kind in a few hundred: one still running this long
// after the key was typed does not read it, and gets Ctrl+C.
inline constexpr uint32_t kStopKeyWaitMs = 1000;
// Where the close request reached the encoder, or whether it did is not
// known, Windows gives it this long to finish on its console's close event
// before it ends it. The real encoder counts every console event it gets: a
// Ctrl+C before this deadline, counted from the stop command's return, would
// be its second signal, which abandons the file it is finishing.
inline constexpr uint32_t kCloseDeadlineMs = 5000;
// How soon a Ctrl+C that never reached the encoder's console is tried again.
inline constexpr uint32_t kCtrlCRetryMs = 500;
// The exit code an encoder ended by the launcher gets (as "taskkill /F" gives).
inline constexpr uint32_t kTerminatedExitCode = 1;

// The longest the launcher takes from the stop message to its exit: the stop
// command at its bound and the wait for what it started, the encoder's whole
// time to finish (the close's deadline, the Ctrl+C and its tries lie inside
// it), and the wait after ending it.
inline constexpr uint32_t kWorstStopMs =
    kStopCommandBoundMs + kEndedProcessWaitMs + kEncoderExitWaitMs + kEndedProcessWaitMs;
static_assert(kStopGraceMs + kStopKeyWaitMs <= kCloseDeadlineMs &&
                  kCloseDeadlineMs + kCtrlCRetryMs < kEncoderExitWaitMs,
              "each request must have its time before the next, and the last before the end");

// What the stop command's report says of one process's close request.
// taskkill names each process it acted on by its id: on its standard output
// the ones it sent the close request to, on its standard error the ones it
// could not (a console program with no window of its own can only be ended
// by force). The words are the system language's; the id is a number.
enum class CloseRequest {
  kSent,     // named on the standard output alone
  kNotSent,  // named on the standard error
  kNotKnown  // named nowhere, or the command did not return
};
CloseRequest closeRequestFor(const CommandRun& run, uint32_t processId);

// What one run of the launcher knows of its stop command: once its
// interpreter has been ended at the bound, a second try would wait for the
// same thing, so the stop command is not run again in that run.
struct StopCommandHistory {
  bool endedAtBound = false;
};

// Asks every running ffmpeg.exe to close (no force), whoever started it, and
// says what came of it. Returns once the request has been made, or once the
// command was ended at its bound; kNotRun without running it where it was
// ended at its bound before in this run.
CommandRun runStopCommand(Platform& platform, StopCommandHistory& history);

// How the stop began.
enum class StopCause {
  kNone,             // not yet
  kRequest,          // the stop message, or the control window closed
  kQuitFromOutside,  // a quit posted to the launcher's thread by another program
  kWaitFailed,       // the wait for events failed
};

// The stop's one outcome.
struct StopOutcome {
  StopCause cause = StopCause::kNone;
  CommandRun command;              // the stop request's command (kNotRun where none ran)
  uint32_t commandReturnedAt = 0;  // its tick, where it returned
  // How the launcher's own encoder ended; none where it had none to see through.
  std::optional<EncoderFinish> encoder;
};

// A stop request: runs the stop command and then removes the control window,
// so that a caller sees at once that the stop was accepted and nothing sent
// to the window blocks while the encoder finishes. Later requests, and the
// WM_DESTROY of that removal, are no new stops.
void acceptStopRequest(Platform& platform, StopOutcome& stop, StopCommandHistory& history);

// The run's events ended without a stop request: nobody serves the window any
// more, and the encoder must not record on with nobody left to stop it. The
// stop command is not run: the others' encoders are not this run's to end.
void endWithoutStopRequest(Platform& platform, StopOutcome& stop, Event end);

// Sees the launcher's own encoder through to its end: awaits its finish on
// the stop command's close request, types its stop key into its console,
// asks it with Ctrl+C, and ends it when it is still running
// kEncoderExitWaitMs after the stop. Says how it ended in one line, with its key.
void seeEncoderThrough(Platform& platform, Process& encoder, StopOutcome& stop);

// Says, with its key, that the launcher's own encoder ended before any stop,
// with its exit code and how long it ran: the one clue to why nothing was
// recorded. On a scaled display, an encoder that ends as it starts names the
// likely cause: one that is not DPI aware refuses some regions.
void reportEncoderEndedOnItsOwn(Platform& platform, Process& encoder, int32_t scalePercent);

// How long after its start an encoder that ends on its own counts as ending
// as it starts: the grabber checks its region while it opens, which takes
// the real encoder about a second.
inline constexpr uint64_t kEndedAsItStartedMs = 5000;

}  // namespace zeltra
