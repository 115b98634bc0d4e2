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

void serveMessagesUntilQuit(Platform& platform) {
  Message message;
  // Fetching returns -1 on error; "while non-zero" would spin on it forever.
  while (platform.fetchMessage(message) > 0) {
    deliver(platform, message);
  }
}

}  // namespace zeltra
