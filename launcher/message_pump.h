// Serving the thread's message queue: the main loop, and the short pumps that
// keep the control window answerable while the launcher waits.
#pragma once

#include <functional>

#include "platform/platform.h"

namespace zeltra {

enum class PumpResult { kQueueEmpty, kQuitTaken };

// Translates and dispatches every message waiting now. Returns kQuitTaken
// (and stops there) when the quit message was among them: the caller must end
// the run, as no second quit will come.
PumpResult servePendingMessages(Platform& platform);

enum class LoopEnd { kQuit, kWaitFailed };

// The message loop: serves messages until the quit message, or until waiting
// fails (an error must end the loop, not spin it). While watched is not null,
// its exit wakes the loop too and is handed to onWatchedExit, once.
LoopEnd serveMessagesUntilQuit(Platform& platform, ProcessHandle watched,
                               const std::function<void()>& onWatchedExit);

}  // namespace zeltra
