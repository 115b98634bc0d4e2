// Writing the check's lines on a thread of their own (see console_printer.h).
#include "check/console_printer.h"

#include <windows.h>

#include <cstdio>
#include <deque>

namespace zeltra::check {
namespace {

// Made once and never freed: the printer thread may still be writing while
// the main thread returns from main and the runtime tears down its statics.
struct PrintQueue {
  CRITICAL_SECTION lock{};
  std::deque<std::string> lines;
  bool direct = false;      // no printer thread could be started: lines are written at once
  HANDLE queued = nullptr;  // auto-reset: a line was queued
  HANDLE idle = nullptr;    // manual-reset: nothing queued and nothing being written
};

PrintQueue* queue = nullptr;

// A console shows its own code page, not the ANSI one the paths are in: the
// line goes to it as wide text. Redirected, the bytes go as they are.
void writeLine(const std::string& line) {
  const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (::GetConsoleMode(out, &mode)) {
    const std::string text = line + "\r\n";
    std::wstring wide(text.size(), L'\0');
    const int length = ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                             wide.data(), static_cast<int>(wide.size()));
    DWORD written = 0;
    ::WriteConsoleW(out, wide.data(), static_cast<DWORD>(length), &written, nullptr);
    return;
  }
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

DWORD WINAPI printQueued(void*) {
  for (;;) {
    ::WaitForSingleObject(queue->queued, INFINITE);  // the printer's own idle wait
    for (;;) {
      ::EnterCriticalSection(&queue->lock);
      if (queue->lines.empty()) {
        ::SetEvent(queue->idle);
        ::LeaveCriticalSection(&queue->lock);
        break;
      }
      std::string line = std::move(queue->lines.front());
      queue->lines.pop_front();
      ::LeaveCriticalSection(&queue->lock);
      writeLine(line);
    }
  }
}

}  // namespace

void startPrinting() {
  queue = new PrintQueue;
  ::InitializeCriticalSection(&queue->lock);
  queue->queued = ::CreateEventA(nullptr, /*bManualReset=*/FALSE, FALSE, nullptr);
  queue->idle = ::CreateEventA(nullptr, /*bManualReset=*/TRUE, TRUE, nullptr);
  const HANDLE thread = ::CreateThread(nullptr, 0, printQueued, nullptr, 0, nullptr);
  queue->direct = thread == nullptr;
  if (thread != nullptr) ::CloseHandle(thread);
}

void printLine(const std::string& line) {
  ::EnterCriticalSection(&queue->lock);
  if (queue->direct) {
    writeLine(line);
    ::LeaveCriticalSection(&queue->lock);
    return;
  }
  queue->lines.push_back(line);
  ::ResetEvent(queue->idle);
  ::LeaveCriticalSection(&queue->lock);
  ::SetEvent(queue->queued);
}

bool finishPrinting(uint32_t limitMs) {
  return ::WaitForSingleObject(queue->idle, limitMs) == WAIT_OBJECT_0;
}

}  // namespace zeltra::check
