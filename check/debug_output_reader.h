// Reading what programs write with OutputDebugString, from the buffer that
// debug-output viewers read, without being any program's debugger.
//
// Windows' protocol: a viewer creates the mapping DBWIN_BUFFER (4 KiB: the
// writer's process id, then the text) and two auto-reset events; it sets
// DBWIN_BUFFER_READY when the buffer may be written, and the writer sets
// DBWIN_DATA_READY once it has. Names without a prefix live in the session's
// own namespace, so no administrator rights are needed. Only one viewer can
// hold them: the names exist already when another has them. A writer waits up
// to 10 s for the buffer, so each line is read on a thread of the reader's
// own and goes to the handler, on that thread, or else waits in a queue; only
// then is the buffer handed back. The handler holds up the next writer
// meanwhile, so it only copies and queues: it never waits on a console (the
// check's lines go to a printer thread, console_printer.h). Because the
// buffer is handed back only after a line is handled, holding it for a moment
// proves that every line written before has been handled (catchUp).
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/scoped_handle.h"

namespace zeltra::check {

struct DebugLine {
  uint32_t processId = 0;
  std::string text;
};

class DebugOutputReader {
 public:
  enum class Opening { kOpened, kHeldByAnotherViewer, kFailed };

  using LineHandler = std::function<void(const DebugLine&)>;
  explicit DebugOutputReader(LineHandler handler = nullptr);
  ~DebugOutputReader();
  DebugOutputReader(const DebugOutputReader&) = delete;
  DebugOutputReader& operator=(const DebugOutputReader&) = delete;

  // Takes the buffer and starts reading; lines written before are lost.
  Opening open();
  // The lines read since the last call, oldest first, when there is no handler.
  std::vector<DebugLine> takeLines();
  // Waits until every line written before the call has gone to the handler
  // or the queue: a writer that has returned, or a program that has exited,
  // may still have its last line unread. False when that took longer than a
  // writer waits for the buffer.
  bool catchUp();

 private:
  static DWORD WINAPI readLoop(void* self);
  void stop();

  ScopedHandle bufferReady_;
  ScopedHandle dataReady_;
  ScopedHandle mapping_;
  ScopedHandle stopping_;
  ScopedHandle thread_;
  LineHandler handler_;
  const char* view_ = nullptr;
  CRITICAL_SECTION lock_{};
  std::vector<DebugLine> lines_;
};

}  // namespace zeltra::check
