// The wait for the target window: as long as it takes, with the control
// window answerable meanwhile.
#pragma once

#include <string>

#include "launcher/capture_region.h"
#include "platform/platform.h"

namespace zeltra {

enum class TargetWait { kFound, kStopped };

// Waits, with no time limit, until a top-level window titled targetTitle is
// shown (visible, not minimized, not cloaked) and stores it in target.window;
// of several, the first in z-order. Messages are served meanwhile;
// returns kStopped when a quit message was taken (a stop request ends it).
TargetWait locateTargetWindow(Platform& platform, CaptureTarget& target,
                              const std::string& targetTitle);

}  // namespace zeltra
