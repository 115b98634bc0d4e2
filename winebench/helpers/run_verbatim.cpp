// bench_tool run: starts a program with an exact command-line text and
// watches it as its debugger, reporting to the driver, one line each:
//   pid <n>                      once the program runs
//   debug <tick> <hex>           every diagnostic line it writes (OutputDebugString)
//   crash <code>                 an exception it did not handle
//   exit <code> <tick>           its exit code
//   processes cmd.exe=<n> ffmpeg.exe=<n>
//                                with --processes-at: how many processes of each image
//                                name ran while the program was held at its first
//                                diagnostic line that begins with that text
// Usage: bench_tool run <hex command line> [--cwd <hex dir>] [--show <mode>]
//          [--env <NAME> <hex value>]... [--plain] [--console] [--new-group]
//          [--job-without-breakaway] [--processes-at <hex text>]
// The command line is UTF-8, started through the wide call, so that a
// program in a folder the code page cannot hold starts too; the other texts
// are in the ANSI code page. The narrow call would widen the line
// with that code page on its way: a line it holds starts the same either way.
// --new-group starts it in a process group of its own, which makes it ignore
// Ctrl+C, as many job runners start programs. --job-without-breakaway starts
// it in a job that lets nothing it starts break away.
// Without --show the program gets no show mode, as when a caller starts it
// the usual way; GetTickCount is the clock, shared with the other helpers.
// With --plain it starts the program as callers do, not as its debugger (each
// diagnostic line would cost a round trip through the debugger): then it
// reports "launch <tick>" just before the start, "pid" and "exit" only.
// With --console (and --plain) the program runs on a new console of its own,
// as when started from Explorer, in a process group of its own (for
// ctrl-c), with its output on this one's, between the "pid" and "exit"
// lines: Wine gives a program started from a pipe no console.
#include <windows.h>

#include <cstring>
#include <string>

#include "bench_tool.h"
#include "check/child_process.h"
#include "platform/ansi_text.h"

namespace zeltra::helpers {
namespace {

std::string readDebugString(HANDLE process, const OUTPUT_DEBUG_STRING_INFO& info) {
  std::string text(info.nDebugStringLength, '\0');
  SIZE_T read = 0;
  ::ReadProcessMemory(process, info.lpDebugStringData, text.data(), text.size(), &read);
  text.resize(read);
  while (!text.empty() && text.back() == '\0') text.pop_back();
  return text;
}

std::wstring fromUtf8(const std::string& text) {
  std::wstring wide(text.size(), L'\0');
  const int size = static_cast<int>(text.size());
  wide.resize(::MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), size));
  return wide;
}

// The show mode and, on a console of its own, the standard handles.
STARTUPINFOW startupFor(const Words& words) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  if (char* const* show = words.after("--show")) {
    startup.dwFlags |= STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(toNumber(show[0]));
  }
  if (words.has("--console")) {
    startup.dwFlags |= STARTF_USESTDHANDLES;
    startup.hStdInput = ::CreateFileA("NUL", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    startup.hStdOutput = ::GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = ::GetStdHandle(STD_OUTPUT_HANDLE);
    ::SetHandleInformation(startup.hStdInput, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    ::SetHandleInformation(startup.hStdOutput, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  }
  return startup;
}

DWORD creationFlags(const Words& words) {
  DWORD flags = words.has("--plain") ? 0 : DEBUG_ONLY_THIS_PROCESS;
  if (words.has("--new-group")) flags |= CREATE_NEW_PROCESS_GROUP;
  if (words.has("--job-without-breakaway")) flags |= CREATE_SUSPENDED;
  if (words.has("--console")) flags |= CREATE_NEW_CONSOLE | CREATE_NEW_PROCESS_GROUP;
  return flags;
}

// Puts the suspended program in a new job, which without limits forbids
// breaking away, and lets it run. The job does not end what is left in it
// when this helper ends, so a test still sees what the program left running.
void runInJobWithoutBreakaway(const PROCESS_INFORMATION& process) {
  const HANDLE job = ::CreateJobObjectA(nullptr, nullptr);
  if (!::AssignProcessToJobObject(job, process.hProcess)) say("job-refused %lu", ::GetLastError());
  ::ResumeThread(process.hThread);
}

void watchPlainly(const PROCESS_INFORMATION& process) {
  ::WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  ::GetExitCodeProcess(process.hProcess, &code);
  say("exit %lu %lu", code, ::GetTickCount());
}

void reportDebugString(const PROCESS_INFORMATION& process, const DEBUG_EVENT& event,
                       std::string& processesAt) {
  const std::string text = readDebugString(process.hProcess, event.u.DebugString);
  say("debug %lu %s", ::GetTickCount(), toHex(text).c_str());
  // The program waits in its call until this event is continued.
  const size_t prefix = text.find(": ");
  if (!processesAt.empty() && prefix != std::string::npos &&
      text.compare(prefix + 2, processesAt.size(), processesAt) == 0) {
    say("processes cmd.exe=%zu ffmpeg.exe=%zu", check::findProcesses("cmd.exe").size(),
        check::findProcesses("ffmpeg.exe").size());
    processesAt.clear();
  }
}

// Until the program exits; false when the debugger lost it.
bool watchAsDebugger(const PROCESS_INFORMATION& process, std::string processesAt) {
  ::DebugSetProcessKillOnExit(FALSE);
  for (;;) {
    DEBUG_EVENT event{};
    if (!::WaitForDebugEvent(&event, INFINITE)) return false;
    DWORD continueStatus = DBG_CONTINUE;
    switch (event.dwDebugEventCode) {
      case OUTPUT_DEBUG_STRING_EVENT:
        reportDebugString(process, event, processesAt);
        break;
      case EXCEPTION_DEBUG_EVENT:
        // The loader's first breakpoint is ours to pass; anything else is the
        // program's own, and reported when nothing handled it.
        if (event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT) {
          continueStatus = DBG_EXCEPTION_NOT_HANDLED;
          if (!event.u.Exception.dwFirstChance) {
            say("crash %08lx", event.u.Exception.ExceptionRecord.ExceptionCode);
          }
        }
        break;
      case CREATE_PROCESS_DEBUG_EVENT:
        if (event.u.CreateProcessInfo.hFile) ::CloseHandle(event.u.CreateProcessInfo.hFile);
        break;
      case LOAD_DLL_DEBUG_EVENT:
        if (event.u.LoadDll.hFile) ::CloseHandle(event.u.LoadDll.hFile);
        break;
      case EXIT_PROCESS_DEBUG_EVENT:
        say("exit %lu %lu", event.u.ExitProcess.dwExitCode, ::GetTickCount());
        ::ContinueDebugEvent(event.dwProcessId, event.dwThreadId, DBG_CONTINUE);
        return true;
      default:
        break;
    }
    ::ContinueDebugEvent(event.dwProcessId, event.dwThreadId, continueStatus);
  }
}

}  // namespace

int runVerbatim(const Words& words) {
  std::wstring commandLine = fromUtf8(fromHex(words[0]));
  for (int i = 1; i + 2 < words.size(); ++i) {
    // Set here, the program inherits it: Wine takes some variables (ComSpec)
    // from its registry rather than from the Linux environment.
    if (std::strcmp(words[i], "--env") == 0) {
      ::SetEnvironmentVariableA(words[i + 1], fromHex(words[i + 2]).c_str());
    }
  }
  char* const* cwd = words.after("--cwd");
  const std::wstring directory = cwd != nullptr ? widenFromAnsi(fromHex(cwd[0])) : L"";
  char* const* processesAt = words.after("--processes-at");
  const bool plain = words.has("--plain");
  STARTUPINFOW startup = startupFor(words);
  PROCESS_INFORMATION process{};
  if (plain) say("launch %lu", ::GetTickCount());
  if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr,
                        /*bInheritHandles=*/words.has("--console"), creationFlags(words), nullptr,
                        directory.empty() ? nullptr : directory.c_str(), &startup, &process)) {
    say("failed %lu", ::GetLastError());
    return 3;
  }
  if (words.has("--job-without-breakaway")) runInJobWithoutBreakaway(process);
  say("pid %lu", process.dwProcessId);
  bool watched = true;
  if (plain) {
    watchPlainly(process);
  } else {
    watched = watchAsDebugger(process, processesAt != nullptr ? fromHex(processesAt[0]) : "");
  }
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return watched ? 0 : 4;
}

}  // namespace zeltra::helpers
