// Reading the debug-output buffer (see debug_output_reader.h).
#include "check/debug_output_reader.h"

#include <cstring>
#include <utility>

namespace zeltra::check {
namespace {

constexpr DWORD kBufferSize = 4096;
// How long a writer waits for the buffer before it drops its line; a catch-up
// that waits longer would prove nothing.
constexpr DWORD kWriterWaitMs = 10000;

enum class Creation { kCreated, kExisted, kFailed };

// Keeps a named object that this call created; one that existed already
// belongs to another viewer and is let go.
template <typename Create>
Creation createFresh(ScopedHandle& owner, Create create) {
  ::SetLastError(ERROR_SUCCESS);
  const HANDLE created = create();
  const bool existed = ::GetLastError() == ERROR_ALREADY_EXISTS;
  owner = ScopedHandle(created);
  if (!owner.valid()) return Creation::kFailed;
  if (!existed) return Creation::kCreated;
  owner = ScopedHandle();
  return Creation::kExisted;
}

}  // namespace

DebugOutputReader::DebugOutputReader(LineHandler handler) : handler_(std::move(handler)) {
  ::InitializeCriticalSection(&lock_);
}

DebugOutputReader::~DebugOutputReader() {
  stop();
  ::DeleteCriticalSection(&lock_);
}

DebugOutputReader::Opening DebugOutputReader::open() {
  for (const Creation creation :
       {createFresh(mapping_,
                    [] {
                      return ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                                  kBufferSize, "DBWIN_BUFFER");
                    }),
        createFresh(bufferReady_,
                    [] { return ::CreateEventA(nullptr, FALSE, FALSE, "DBWIN_BUFFER_READY"); }),
        createFresh(dataReady_,
                    [] { return ::CreateEventA(nullptr, FALSE, FALSE, "DBWIN_DATA_READY"); })}) {
    if (creation == Creation::kExisted) return Opening::kHeldByAnotherViewer;
    if (creation == Creation::kFailed) return Opening::kFailed;
  }
  view_ = static_cast<const char*>(::MapViewOfFile(mapping_.get(), FILE_MAP_READ, 0, 0, 0));
  stopping_ = ScopedHandle(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
  if (view_ == nullptr || !stopping_.valid()) return Opening::kFailed;
  thread_ = ScopedHandle(::CreateThread(nullptr, 0, readLoop, this, 0, nullptr));
  return thread_.valid() ? Opening::kOpened : Opening::kFailed;
}

std::vector<DebugLine> DebugOutputReader::takeLines() {
  ::EnterCriticalSection(&lock_);
  std::vector<DebugLine> lines;
  lines.swap(lines_);
  ::LeaveCriticalSection(&lock_);
  return lines;
}

bool DebugOutputReader::catchUp() {
  if (!thread_.valid()) return false;
  // The buffer is free only once the line last written into it is handled;
  // taken here, it is handed straight back to the next writer.
  if (::WaitForSingleObject(bufferReady_.get(), kWriterWaitMs) != WAIT_OBJECT_0) return false;
  ::SetEvent(bufferReady_.get());
  return true;
}

DWORD WINAPI DebugOutputReader::readLoop(void* self) {
  auto* reader = static_cast<DebugOutputReader*>(self);
  const HANDLE waits[] = {reader->dataReady_.get(), reader->stopping_.get()};
  ::SetEvent(reader->bufferReady_.get());
  for (;;) {
    if (::WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) return 0;
    DebugLine line;
    std::memcpy(&line.processId, reader->view_, sizeof line.processId);
    const char* text = reader->view_ + sizeof(DWORD);
    line.text.assign(text, strnlen(text, kBufferSize - sizeof(DWORD)));
    if (reader->handler_) {
      reader->handler_(line);
    } else {
      ::EnterCriticalSection(&reader->lock_);
      reader->lines_.push_back(std::move(line));
      ::LeaveCriticalSection(&reader->lock_);
    }
    ::SetEvent(reader->bufferReady_.get());  // the next writer waits for this (kWriterWaitMs)
  }
}

void DebugOutputReader::stop() {
  if (thread_.valid()) {
    ::SetEvent(stopping_.get());
    ::WaitForSingleObject(thread_.get(), INFINITE);
  }
  if (view_ != nullptr) ::UnmapViewOfFile(view_);
  view_ = nullptr;
}

}  // namespace zeltra::check
