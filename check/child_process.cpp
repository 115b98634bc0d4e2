// Running a console program with its output captured (see child_process.h).
#include <windows.h>  // first: tlhelp32.h builds on it

#include <tlhelp32.h>

#include <memory>
#include <vector>

#include "check/child_process.h"
#include "check/machine_facts.h"
#include "platform/ansi_text.h"
#include "platform/scoped_handle.h"

namespace zeltra::check {
namespace {

// How long a program ended at its time limit (or on an interruption) may take
// to go; ending is immediate unless the system is stuck.
constexpr DWORD kEndedExitLimitMs = 5000;
// How long the pipes may take to end after the program has: they end with it
// unless a program it started holds their write ends. At the bound the output
// read so far is taken, marked as cut short, and the drain goes on alone.
constexpr DWORD kDrainLimitMs = 5000;

// A pipe's read end drained on a thread of its own: the program may fill
// either pipe first, and a pipe nobody reads stops it. The thread and
// runProgram share the state, and whichever ends last frees it: runProgram
// may return at its bound while the thread is still blocked in a read.
class PipeDrain {
 public:
  explicit PipeDrain(ScopedHandle readEnd) : readEnd_(std::move(readEnd)) {
    ::InitializeCriticalSection(&lock_);
  }
  ~PipeDrain() { ::DeleteCriticalSection(&lock_); }
  PipeDrain(const PipeDrain&) = delete;
  PipeDrain& operator=(const PipeDrain&) = delete;

  // The thread, holding its own share of the state; empty when none started.
  static ScopedHandle start(const std::shared_ptr<PipeDrain>& drain) {
    auto* share = new std::shared_ptr<PipeDrain>(drain);
    const HANDLE thread = ::CreateThread(nullptr, 0, run, share, 0, nullptr);
    if (thread == nullptr) delete share;
    return ScopedHandle(thread);
  }

  std::string text() {
    ::EnterCriticalSection(&lock_);
    std::string copy = text_;
    ::LeaveCriticalSection(&lock_);
    return copy;
  }

 private:
  static DWORD WINAPI run(void* context) {
    const std::unique_ptr<std::shared_ptr<PipeDrain>> share(
        static_cast<std::shared_ptr<PipeDrain>*>(context));
    (*share)->drain();
    return 0;
  }

  void drain() {
    std::vector<char> chunk(65536);
    DWORD read = 0;
    while (::ReadFile(readEnd_.get(), chunk.data(), static_cast<DWORD>(chunk.size()), &read,
                      nullptr) &&
           read > 0) {
      ::EnterCriticalSection(&lock_);
      text_.append(chunk.data(), read);
      ::LeaveCriticalSection(&lock_);
    }
  }

  ScopedHandle readEnd_;
  CRITICAL_SECTION lock_{};
  std::string text_;
};

// A pipe whose write end the program inherits and whose read end it does not.
bool makeOutputPipe(ScopedHandle& readEnd, ScopedHandle& writeEnd) {
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  HANDLE read = nullptr;
  HANDLE write = nullptr;
  if (!::CreatePipe(&read, &write, &inheritable, 0)) return false;
  readEnd = ScopedHandle(read);
  writeEnd = ScopedHandle(write);
  return ::SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0) != FALSE;
}

// Waits for the program's exit, its time limit or an interruption; at either
// of the last two, ends it and waits, boundedly, for it to go.
void awaitExit(ProgramRun& run, HANDLE process, DWORD timeoutMs, HANDLE interruption) {
  const HANDLE waits[] = {process, interruption};
  const DWORD count = interruption != nullptr ? 2 : 1;
  const DWORD woke = ::WaitForMultipleObjects(count, waits, /*bWaitAll=*/FALSE, timeoutMs);
  if (woke == WAIT_OBJECT_0) return;
  run.timedOut = woke != WAIT_OBJECT_0 + 1;
  run.interrupted = !run.timedOut;
  ::TerminateProcess(process, 1);
  ::WaitForSingleObject(process, kEndedExitLimitMs);
}

}  // namespace

ProgramRun runProgram(const std::wstring& program, const std::string& parameters,
                      uint32_t timeoutMs, HANDLE interruption) {
  ProgramRun run;
  ScopedHandle outRead, outWrite, errRead, errWrite;
  if (!makeOutputPipe(outRead, outWrite) || !makeOutputPipe(errRead, errWrite)) return run;
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  const ScopedHandle input(::CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         &inheritable, OPEN_EXISTING, 0, nullptr));
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input.get();
  startup.hStdOutput = outWrite.get();
  startup.hStdError = errWrite.get();
  std::wstring commandLine = L"\"" + program + L"\" " + widenFromAnsi(parameters);
  PROCESS_INFORMATION info{};
  // No window: the program is asked questions, it has nothing to show.
  if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr,
                        /*bInheritHandles=*/TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                        &info)) {
    run.startError = ::GetLastError();
    return run;
  }
  run.started = true;
  const ScopedHandle process(info.hProcess);
  const ScopedHandle thread(info.hThread);
  // Only the program holds the write ends now: its exit ends the pipes.
  outWrite = ScopedHandle();
  errWrite = ScopedHandle();
  const auto out = std::make_shared<PipeDrain>(std::move(outRead));
  const auto err = std::make_shared<PipeDrain>(std::move(errRead));
  const ScopedHandle outThread = PipeDrain::start(out);
  const ScopedHandle errThread = PipeDrain::start(err);
  // Without both drains the program could block on a full pipe: it is ended at once.
  awaitExit(run, process.get(), outThread.valid() && errThread.valid() ? timeoutMs : 0,
            interruption);
  const HANDLE drains[] = {outThread.get(), errThread.get()};
  run.drained =
      outThread.valid() && errThread.valid() &&
      ::WaitForMultipleObjects(2, drains, /*bWaitAll=*/TRUE, kDrainLimitMs) == WAIT_OBJECT_0;
  DWORD code = 0;
  ::GetExitCodeProcess(process.get(), &code);
  run.exitCode = code;
  run.output = out->text();
  run.errors = err->text();
  return run;
}

std::vector<RunningProcess> findProcesses(const std::string& imageName) {
  std::vector<RunningProcess> found;
  const ScopedHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot.valid()) return found;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Process32First(snapshot.get(), &entry); more;
       more = ::Process32Next(snapshot.get(), &entry)) {
    if (::lstrcmpiA(entry.szExeFile, imageName.c_str()) == 0) {
      found.push_back(RunningProcess{entry.th32ProcessID, entry.th32ParentProcessID});
    }
  }
  return found;
}

void endProcess(uint32_t processId) {
  const ScopedHandle process(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId));
  if (!process.valid()) return;
  ::TerminateProcess(process.get(), 1);
  ::WaitForSingleObject(process.get(), 5000);
}

}  // namespace zeltra::check
