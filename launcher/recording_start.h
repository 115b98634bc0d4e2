// The recording start: from the invocation text to a running encoder.
#pragma once

#include <memory>

#include "launcher/invocation.h"

#include "launcher/stop.h"
#include "platform/platform.h"

namespace zeltra {

enum class StartOutcome {
  kLaunchAttempted,  // the encoder was launched, or its launch failed; serve stop requests
  kNothingToRecord,  // no usable output path; nothing was stopped or started
  kStoppedEarly,     // a stop request ended the start and its quit was taken; nothing started
};

struct RecordingStart {
  StartOutcome outcome = StartOutcome::kNothingToRecord;
  std::unique_ptr<Process> encoder;  // null unless an encoder is running
  int32_t scalePercent = 100;        // the display's, as the window was measured
};

inline constexpr uint32_t kSettlingPauseMs = 100;

// Parses the invocation, waits for and measures the target window, stops any
// encoder still running and waits for it to be gone, launches a new one beside
// the launcher and pauses briefly. Stop requests that arrive meanwhile are
// served as they come; stopCommand is the run's, shared with their handling.
RecordingStart startRecording(Platform& platform, const InvocationText& invocation,
                              StopCommandHistory& stopCommand);

}  // namespace zeltra
