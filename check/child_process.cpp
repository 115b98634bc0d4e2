// Running a console program with its output captured (see child_process.h).
#include <windows.h>  // first: tlhelp32.h builds on it

#include <tlhelp32.h>

#include "check/child_process.h"
#include "check/machine_facts.h"
#include "platform/scoped_handle.h"

namespace zeltra::check {
namespace {

// A pipe's read end drained on a thread of its own: the program may fill
// either pipe first, and a pipe nobody reads stops it.
struct PipeDrain {
  HANDLE readEnd = nullptr;
  std::string text;
};

DWORD WINAPI drainPipe(void* context) {
  auto* drain = static_cast<PipeDrain*>(context);
  char chunk[65536];
  DWORD read = 0;
  while (::ReadFile(drain->readEnd, chunk, sizeof chunk, &read, nullptr) && read > 0) {
    drain->text.append(chunk, read);
  }
  return 0;
}

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

}  // namespace

ProgramRun runProgram(const std::wstring& program, const std::string& parameters,
                      uint32_t timeoutMs) {
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
  std::wstring commandLine = L"\"" + program + L"\" " + widenAnsi(parameters);
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
  PipeDrain out{outRead.get(), {}};
  PipeDrain err{errRead.get(), {}};
  const ScopedHandle outThread(::CreateThread(nullptr, 0, drainPipe, &out, 0, nullptr));
  const ScopedHandle errThread(::CreateThread(nullptr, 0, drainPipe, &err, 0, nullptr));
  if (::WaitForSingleObject(process.get(), timeoutMs) != WAIT_OBJECT_0) {
    run.timedOut = true;
    ::TerminateProcess(process.get(), 1);
    ::WaitForSingleObject(process.get(), 5000);
  }
  const HANDLE drains[] = {outThread.get(), errThread.get()};
  ::WaitForMultipleObjects(2, drains, /*bWaitAll=*/TRUE, 5000);
  DWORD code = 0;
  ::GetExitCodeProcess(process.get(), &code);
  run.exitCode = code;
  run.output = std::move(out.text);
  run.errors = std::move(err.text);
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
