// Serving the thread's message queue: the main loop, and the short pumps that
// keep the control window answerable while the launcher waits.
#pragma once

#include "platform/platform.h"

namespace zeltra {

enum class PumpResult { kQueueEmpty, kQuitTaken };

// Translates and dispatches every message waiting now. Returns kQuitTaken
// (and stops there) when the quit message was among them: the caller must end
// the run, as no second quit will come.
PumpResult servePendingMessages(Platform& platform);

// The message loop: serves messages until the quit message, or until fetching
// fails (an error must end the loop, not spin it).
void serveMessagesUntilQuit(Platform& platform);

}  // namespace zeltra
