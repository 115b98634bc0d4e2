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
// the launcher asks it once more through its console. Where only that second
// request reaches it (under Wine, in a pseudoconsole), every stop waits this
// long; an encoder that heard the stop command has finished a file of this
// launcher's kind well within it.
inline constexpr uint32_t kStopGraceMs = 500;
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

// What one run of the launcher knows of its stop command: once its
// interpreter has been ended at the bound, a second try would wait for the
// same thing, so the stop command is not run again in that run.
struct StopCommandHistory {
  bool endedAtBound = false;
};

// Asks every running ffmpeg.exe to close (no force), whoever started it, and
// returns once the request has been made, or once the command was ended at
// its bound.
StopCommandResult stopEncoders(Platform& platform, StopCommandHistory& history);

// The stop command before a launch, so that no encoder left from an earlier
// run holds the file or the screen. Skipped when no ffmpeg.exe is running: it
// could close nothing then, and it would delay the recording's start by the
// command interpreter's and taskkill's start-up.
void stopEncodersBeforeLaunch(Platform& platform, StopCommandHistory& history);

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
void finishOwnEncoder(Platform& platform, ProcessHandle encoder, FinishRequest askedSoFar,
                      std::optional<uint32_t> stopCommandReturnedMs);

// Says that the launcher's own encoder ended before any stop, with its exit
// code and how long it ran: the one clue to why nothing was recorded.
void reportEncoderEndedOnItsOwn(Platform& platform, ProcessHandle encoder);

}  // namespace zeltra
