// Serving the thread's message queue.
#include "launcher/message_pump.h"

#include "launcher/windows_constants.h"

namespace zeltra {
namespace {

void deliver(Platform& platform, const Message& message) {
  platform.translateMessage(message);
  platform.dispatchMessage(message);
}

}  // namespace

PumpResult servePendingMessages(Platform& platform) {
  Message message;
  while (platform.takePendingMessage(message)) {
    if (message.message == kWmQuit) {
      return PumpResult::kQuitTaken;
    }
    deliver(platform, message);
  }
  return PumpResult::kQueueEmpty;
}

LoopEnd serveMessagesUntilQuit(Platform& platform, ProcessHandle watched,
                               const std::function<void()>& onWatchedExit) {
  for (;;) {
    if (servePendingMessages(platform) == PumpResult::kQuitTaken) {
      return LoopEnd::kQuit;
    }
    switch (platform.waitForMessageOrProcessExit(watched, kWaitForever)) {
      case Wake::kMessage:
        break;
      case Wake::kProcessExited:
        watched = nullptr;  // an ended process would wake every wait at once
        onWatchedExit();
        break;
      case Wake::kTimedOut:  // not without a limit; taken for a failing wait
      case Wake::kFailed:
        return LoopEnd::kWaitFailed;
    }
  }
}

}  // namespace zeltra
