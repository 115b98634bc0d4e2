// Stopping encoders: the stop command that asks every ffmpeg.exe to close,
// and seeing the launcher's own encoder through to its end, so that no
// recording it started outlives it.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/platform.h"

namespace zeltra {

inline constexpr char kEncoderImageName[] = "ffmpeg.exe";
inline constexpr char kStopCommand[] = "taskkill /IM ffmpeg.exe";
// How long the launcher's own encoder may take to finish its file after the
// stop, before it is ended unfinished.
inline constexpr uint32_t kEncoderExitWaitMs = 10000;
// How long the encoder may take to finish on the stop command alone before
// the launcher asks it once more through its console, where the stop command
// could not send it its close request (no console window of its own, as in a
// pseudoconsole): a close request that reached it would have finished a file
// of this launcher's kind well within this.
inline constexpr uint32_t kStopGraceMs = 500;
// Where the close request reached the encoder (or whether it did is not
// known), Windows gives it this long to finish on its console's close event
// before it ends it. The real encoder counts every console event it gets:
// a Ctrl+C before this deadline would be its second signal, which abandons
// the file it is finishing.
inline constexpr uint32_t kCloseDeadlineMs = 5000;
// How soon a Ctrl+C that never reached the encoder's console is tried again.
inline constexpr uint32_t kCtrlCRetryMs = 500;
// The exit code an encoder ended by the launcher gets (as "taskkill /F" gives).
inline constexpr uint32_t kTerminatedExitCode = 1;
// How long the stop command may take before its interpreter and all it
// started are ended. It returns in 100-400 ms; an interpreter still running
// after this waits for something that will not come (an AutoRun command
// waiting for input on the hidden console), and the stop must not wait with it.
inline constexpr uint32_t kStopCommandBoundMs = 3000;

// What came of the stop command.
enum class StopCommandResult {
  kReturned,      // it ran and returned
  kNotRun,        // no interpreter could be started, or it was left out (see below)
  kEndedAtBound,  // it had not returned within kStopCommandBoundMs and was ended
};

struct StopCommandRun {
  StopCommandResult result = StopCommandResult::kNotRun;
  CommandReport report;  // what taskkill said, when it returned
};

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
CloseRequest closeRequestFor(const StopCommandRun& run, uint32_t processId);

// What one run of the launcher knows of its stop command: once its
// interpreter has been ended at the bound, a second try would wait for the
// same thing, so the stop command is not run again in that run.
struct StopCommandHistory {
  bool endedAtBound = false;
};

// Asks every running ffmpeg.exe to close (no force), whoever started it, and
// returns once the request has been made, or once the command was ended at
// its bound.
StopCommandRun stopEncoders(Platform& platform, StopCommandHistory& history);

enum class BeforeLaunch { kLaunch, kStopped };

// The stop command before a launch, so that no encoder left from an earlier
// run holds the file or the screen, and then a wait, bounded by
// kEncoderExitWaitMs (what an encoder is given to finish its file), until
// those it asked to close are gone: one still writing its file's end would
// share it with the new one. Skipped when no ffmpeg.exe is running: it could
// close nothing then, and it would delay the recording's start by the command
// interpreter's and taskkill's start-up. Messages are served meanwhile;
// kStopped when a stop request ended the wait (its quit taken).
BeforeLaunch stopEncodersBeforeLaunch(Platform& platform, StopCommandHistory& history);

// How the launcher's own encoder has been asked to finish so far.
enum class FinishRequest {
  kStopCommand,  // by the stop command; it is asked once more if it has not finished
  kNone,         // not at all: the loop ended without a stop request, or the stop
                 // command did not run or was ended at its bound
};

// Waits for the launcher's own encoder to finish its file, asking it through
// its console where the stop command has not made it finish, and ending it
// when it is still running kEncoderExitWaitMs after the stop. Releases it.
// Where it has not been asked yet, it is asked at once.
// stopCommandReturnedMs, the tick at which the stop command returned, is given
// when it ran; then an encoder that exits by itself is said to have finished
// so many ms after it.
// close says whether the stop command's close request reached it.
void finishOwnEncoder(Platform& platform, ProcessHandle encoder, FinishRequest askedSoFar,
                      std::optional<uint32_t> stopCommandReturnedMs, CloseRequest close);

// Says that the launcher's own encoder ended before any stop, with its exit
// code and how long it ran: the one clue to why nothing was recorded.
void reportEncoderEndedOnItsOwn(Platform& platform, ProcessHandle encoder);

}  // namespace zeltra
