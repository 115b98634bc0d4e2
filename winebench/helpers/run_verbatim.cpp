// Starts a program with an exact command-line text and watches it as its
// debugger, reporting to the driver, one line each:
//   pid <n>                      once the program runs
//   debug <tick> <hex>           every diagnostic line it writes (OutputDebugString)
//   crash <code>                 an exception it did not handle
//   exit <code> <tick>           its exit code
//   processes <hex names>        with --processes-at: the image names of every process
//                                running (separated by '|') while the program is held at
//                                its first diagnostic line that begins with that text
// Usage: run_verbatim <hex command line | @file holding it> [--cwd <hex dir>] [--show <mode>]
//                     [--env <NAME> <hex value>]... [--plain] [--console] [--new-group]
//                     [--job-without-breakaway] [--processes-at <hex text>] [--wide]
// --new-group starts it in a process group of its own, which makes it ignore
// Ctrl+C, as many job runners start programs. --job-without-breakaway starts
// it in a job that lets nothing it starts break away.
// The command line is bytes in the ANSI code page, or with --wide UTF-16
// (little-endian) started through the wide call, for a program in a folder
// the code page cannot hold.
// Without --show the program gets no show mode, as when a caller starts it
// the usual way; GetTickCount is the clock, shared with the other helpers.
// With --plain it starts the program as callers do, not as its debugger (each
// diagnostic line would cost a round trip through the debugger): then it
// reports "launch <tick>" just before the start, "pid" and "exit" only.
// With --console (and --plain) the program runs on a new console of its own,
// as when started from Explorer, in a process group of its own (for
// send_ctrl_c), with its output on this one's, between the "pid" and "exit"
// lines: Wine gives a program started from a pipe no console.
#include <windows.h>  // first: tlhelp32.h builds on it

#include <tlhelp32.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "helper_text.h"

using zeltra::helpers::fromHex;
using zeltra::helpers::say;
using zeltra::helpers::toHex;

namespace {

std::string readDebugString(HANDLE process, const OUTPUT_DEBUG_STRING_INFO& info) {
  std::string text(info.nDebugStringLength, '\0');
  SIZE_T read = 0;
  ::ReadProcessMemory(process, info.lpDebugStringData, text.data(), text.size(), &read);
  text.resize(read);
  while (!text.empty() && text.back() == '\0') text.pop_back();
  return text;
}

// The image names of every running process, '|' between them.
std::string runningImageNames() {
  std::string names;
  const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return names;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Process32First(snapshot, &entry); more;
       more = ::Process32Next(snapshot, &entry)) {
    names += std::string(names.empty() ? "" : "|") + entry.szExeFile;
  }
  ::CloseHandle(snapshot);
  return names;
}

// Puts the suspended program in a new job, which without limits forbids
// breaking away, and lets it run. The job does not end what is left in it
// when this helper ends, so a test still sees what the program left running.
void runInJobWithoutBreakaway(const PROCESS_INFORMATION& process) {
  const HANDLE job = ::CreateJobObjectA(nullptr, nullptr);
  if (!::AssignProcessToJobObject(job, process.hProcess)) say("job-refused %lu", ::GetLastError());
  ::ResumeThread(process.hThread);
}

// The text's UTF-16 units, two bytes each, the low one first.
std::wstring fromUtf16(const std::string& bytes) {
  std::wstring text;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    text += static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) |
                                 (static_cast<unsigned char>(bytes[i + 1]) << 8));
  }
  return text;
}

// Starts the program with those creation flags; the directory is ANSI.
bool startProgram(std::string& commandLine, bool wide, DWORD flags, bool inheritHandles,
                  const std::string& directory, const STARTUPINFOA& startup,
                  PROCESS_INFORMATION& process) {
  if (!wide) {
    STARTUPINFOA info = startup;
    return ::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, inheritHandles, flags,
                            nullptr, directory.empty() ? nullptr : directory.c_str(), &info,
                            &process) != FALSE;
  }
  std::wstring wideLine = fromUtf16(commandLine);
  std::wstring wideDirectory(directory.size(), L'\0');
  wideDirectory.resize(static_cast<size_t>(
      ::MultiByteToWideChar(CP_ACP, 0, directory.data(), static_cast<int>(directory.size()),
                            wideDirectory.data(), static_cast<int>(wideDirectory.size()))));
  STARTUPINFOW info{};
  info.cb = sizeof info;
  info.dwFlags = startup.dwFlags;
  info.wShowWindow = startup.wShowWindow;
  info.hStdInput = startup.hStdInput;
  info.hStdOutput = startup.hStdOutput;
  info.hStdError = startup.hStdError;
  return ::CreateProcessW(nullptr, wideLine.data(), nullptr, nullptr, inheritHandles, flags,
                          nullptr, wideDirectory.empty() ? nullptr : wideDirectory.c_str(), &info,
                          &process) != FALSE;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    say("usage: run_verbatim <hex command line> [--cwd <hex dir>] [--show <mode>]");
    return 2;
  }
  std::string commandLine = fromHex(argv[1]);
  if (argv[1][0] == '@') {
    // The hex of a long command line would not fit on this one's.
    std::string hex;
    if (FILE* file = std::fopen(argv[1] + 1, "rb")) {
      char chunk[4096];
      for (size_t n = 0; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;) hex.append(chunk, n);
      std::fclose(file);
    }
    commandLine = fromHex(hex.c_str());
  }
  std::string directory;
  std::string processesAt;
  bool plain = false;
  bool inJob = false;
  bool console = false;
  bool wide = false;
  DWORD flags = 0;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  for (int i = 2; i < argc; ++i) {
    const bool hasValue = i + 1 < argc;
    if (std::strcmp(argv[i], "--plain") == 0) {
      plain = true;
    } else if (std::strcmp(argv[i], "--new-group") == 0) {
      flags |= CREATE_NEW_PROCESS_GROUP;
    } else if (std::strcmp(argv[i], "--job-without-breakaway") == 0) {
      inJob = true;
      flags |= CREATE_SUSPENDED;
    } else if (std::strcmp(argv[i], "--processes-at") == 0 && hasValue) {
      processesAt = fromHex(argv[++i]);
    } else if (std::strcmp(argv[i], "--console") == 0) {
      console = true;
      flags |= CREATE_NEW_CONSOLE | CREATE_NEW_PROCESS_GROUP;
      startup.dwFlags |= STARTF_USESTDHANDLES;
      startup.hStdInput = ::CreateFileA("NUL", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
      startup.hStdOutput = ::GetStdHandle(STD_OUTPUT_HANDLE);
      startup.hStdError = ::GetStdHandle(STD_OUTPUT_HANDLE);
      ::SetHandleInformation(startup.hStdInput, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
      ::SetHandleInformation(startup.hStdOutput, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    } else if (std::strcmp(argv[i], "--wide") == 0) {
      wide = true;
    } else if (std::strcmp(argv[i], "--env") == 0 && i + 2 < argc) {
      // Set here, the program inherits it: Wine takes some variables (ComSpec)
      // from its registry rather than from the Linux environment.
      ::SetEnvironmentVariableA(argv[i + 1], fromHex(argv[i + 2]).c_str());
      i += 2;
    } else if (std::strcmp(argv[i], "--cwd") == 0 && hasValue) {
      directory = fromHex(argv[++i]);
    } else if (std::strcmp(argv[i], "--show") == 0 && hasValue) {
      startup.dwFlags |= STARTF_USESHOWWINDOW;
      startup.wShowWindow = static_cast<WORD>(zeltra::helpers::toNumber(argv[++i]));
    }
  }
  PROCESS_INFORMATION process{};
  if (plain) say("launch %lu", ::GetTickCount());
  if (!startProgram(commandLine, wide, flags | (plain ? 0 : DEBUG_ONLY_THIS_PROCESS),
                    /*inheritHandles=*/console, directory, startup, process)) {
    say("failed %lu", ::GetLastError());
    return 3;
  }
  if (inJob) runInJobWithoutBreakaway(process);
  say("pid %lu", process.dwProcessId);
  if (plain) {
    ::WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    ::GetExitCodeProcess(process.hProcess, &code);
    say("exit %lu %lu", code, ::GetTickCount());
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return 0;
  }
  ::DebugSetProcessKillOnExit(FALSE);

  for (;;) {
    DEBUG_EVENT event{};
    if (!::WaitForDebugEvent(&event, INFINITE)) break;
    DWORD continueStatus = DBG_CONTINUE;
    switch (event.dwDebugEventCode) {
      case OUTPUT_DEBUG_STRING_EVENT: {
        const std::string text = readDebugString(process.hProcess, event.u.DebugString);
        say("debug %lu %s", ::GetTickCount(), toHex(text).c_str());
        // The program waits in its call until this event is continued.
        const size_t prefix = text.find(": ");
        if (!processesAt.empty() && prefix != std::string::npos &&
            text.compare(prefix + 2, processesAt.size(), processesAt) == 0) {
          say("processes %s", toHex(runningImageNames()).c_str());
          processesAt.clear();
        }
        break;
      }
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
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
        return 0;
      default:
        break;
    }
    ::ContinueDebugEvent(event.dwProcessId, event.dwThreadId, continueStatus);
  }
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return 4;
}
