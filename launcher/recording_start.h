// The recording start: from the invocation text to a running encoder.
#pragma once

#include <string>
#include <string_view>

#include "launcher/capture_region.h"
#include "launcher/encoder_stop.h"
#include "platform/platform.h"

namespace zeltra {

enum class StartOutcome {
  kLaunchAttempted,  // the encoder was launched, or its launch failed; serve stop requests
  kNothingToRecord,  // no usable output path; nothing was stopped or started
  kStoppedEarly,     // a stop request ended the start and its quit was taken; nothing started
};

struct RecordingStart {
  StartOutcome outcome = StartOutcome::kNothingToRecord;
  ProcessHandle encoder = nullptr;  // null unless an encoder is running
};

inline constexpr uint32_t kSettlingPauseMs = 100;

// Parses the invocation, waits for and measures the target window, stops any
// encoder still running, launches a new one beside the launcher and pauses
// briefly. Stop requests that arrive meanwhile are served as they come.
// stopCommand is the run's, shared with the stop requests' handling.
RecordingStart startRecording(Platform& platform, CaptureTarget& target,
                              std::string_view commandLineText, StopCommandHistory& stopCommand);

// The launcher's own executable path, wide, read again into a larger buffer
// when the usual MAX_PATH one turns out too short.
std::wstring readOwnModulePath(Platform& platform);

// Starts the encoder minimized and without activating it, the parameter line
// (ANSI, as composed) widened exactly. Returns its process, or null when it
// could not be started.
ProcessHandle launchEncoder(Platform& platform, const std::wstring& encoderPath,
                            const std::string& parameters);

}  // namespace zeltra
