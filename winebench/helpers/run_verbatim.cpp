// bench_tool run: starts a program with an exact command-line text, as
// callers start it, and reports to the driver, one line each:
//   pid <n>                      once the program is created, before it runs
//   debug <tick> <hex>           every diagnostic line it writes (OutputDebugString),
//                                read from the debug-output buffer with the machine
//                                check's own reader, as a viewer reads it
//   not-holding                  another viewer holds that buffer: no lines
//   exit <code> <tick>           its exit code, once its last line is read
//   stderr <hex>                 with --stderr-pipe: what it wrote to the standard error
//                                handed to it as a pipe, read to the pipe's end
//   processes cmd.exe=<n> ffmpeg.exe=<n>
//                                with --processes-at: how many processes of each image
//                                name ran while the program was held just after its
//                                first diagnostic line that begins with that text
// Usage: bench_tool run <hex command line> [--cwd <hex dir>] [--show <mode>]
//          [--env <NAME> <hex value>]... [--plain] [--console] [--new-group]
//          [--job-without-breakaway] [--processes-at <hex text>] [--stderr-pipe]
// The command line is UTF-8, started through the wide call, so that a
// program in a folder the code page cannot hold starts too; the other texts
// are in the ANSI code page. The narrow call would widen the line
// with that code page on its way: a line it holds starts the same either way.
// --new-group starts it in a process group of its own, which makes it ignore
// Ctrl+C, as many job runners start programs. --job-without-breakaway starts
// it in a job that lets nothing it starts break away.
// Without --show the program gets no show mode, as when a caller starts it
// the usual way; GetTickCount is the clock, shared with the other helpers.
// With --plain it leaves the debug-output buffer to others (the machine check
// reads it itself) and reports "launch <tick>" just before the start, "pid"
// and "exit" only.
// With --console (and --plain) the program runs on a new console of its own,
// as when started from Explorer, in a process group of its own (for
// ctrl-c), with its output on this one's, between the "pid" and "exit"
// lines: Wine gives a program started from a pipe no console.
#include <windows.h>

#include <cstring>
#include <optional>
#include <string>

#include "bench_tool.h"
#include "check/child_process.h"
#include "check/debug_output_reader.h"
#include "platform/ansi_text.h"

namespace zeltra::helpers {
namespace {

std::wstring fromUtf8(const std::string& text) {
  std::wstring wide(text.size(), L'\0');
  const int size = static_cast<int>(text.size());
  wide.resize(::MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), size));
  return wide;
}

// The show mode and, on a console of its own, the standard handles.
// The read end of the pipe handed over as standard error, read to its end,
// which comes only once no process holds the write end any more.
std::string readToTheEnd(HANDLE pipe) {
  std::string all;
  char buffer[4096];
  DWORD read = 0;
  while (::ReadFile(pipe, buffer, sizeof buffer, &read, nullptr) && read > 0)
    all.append(buffer, read);
  return all;
}

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

// Created suspended, so that it writes no line before its lines are read.
DWORD creationFlags(const Words& words) {
  DWORD flags = CREATE_SUSPENDED;
  if (words.has("--new-group")) flags |= CREATE_NEW_PROCESS_GROUP;
  if (words.has("--console")) flags |= CREATE_NEW_CONSOLE | CREATE_NEW_PROCESS_GROUP;
  return flags;
}

// A line of the program's (the buffer holds every program's): said, and at
// the first that begins with heldAt, the processes counted while the
// program's one thread is held, just past that line.
void reportLine(const PROCESS_INFORMATION& process, const check::DebugLine& line,
                std::string& heldAt) {
  if (line.processId != process.dwProcessId) return;
  say("debug %lu %s", ::GetTickCount(), toHex(line.text).c_str());
  const size_t prefix = line.text.find(": ");
  if (!heldAt.empty() && prefix != std::string::npos &&
      line.text.compare(prefix + 2, heldAt.size(), heldAt) == 0) {
    ::SuspendThread(process.hThread);
    say("processes cmd.exe=%zu ffmpeg.exe=%zu", check::findProcesses("cmd.exe").size(),
        check::findProcesses("ffmpeg.exe").size());
    ::ResumeThread(process.hThread);
    heldAt.clear();
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
  HANDLE errorRead = nullptr;
  HANDLE errorWrite = nullptr;
  const bool errorPipe = words.has("--stderr-pipe");
  if (errorPipe) {
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    ::CreatePipe(&errorRead, &errorWrite, &inheritable, 64 * 1024);
    ::SetHandleInformation(errorRead, HANDLE_FLAG_INHERIT, 0);
    startup.dwFlags |= STARTF_USESTDHANDLES;
    startup.hStdError = errorWrite;
  }
  PROCESS_INFORMATION process{};
  if (plain) say("launch %lu", ::GetTickCount());
  if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr,
                        /*bInheritHandles=*/words.has("--console") || errorPipe,
                        creationFlags(words), nullptr,
                        directory.empty() ? nullptr : directory.c_str(), &startup, &process)) {
    say("failed %lu", ::GetLastError());
    return 3;
  }
  if (errorPipe) ::CloseHandle(errorWrite);
  // A new job without limits forbids breaking away. It does not end what is
  // left in it when this helper ends, so a test still sees what the program left running.
  if (words.has("--job-without-breakaway") &&
      !::AssignProcessToJobObject(::CreateJobObjectA(nullptr, nullptr), process.hProcess)) {
    say("job-refused %lu", ::GetLastError());
  }
  std::string heldAt = processesAt != nullptr ? fromHex(processesAt[0]) : "";
  std::optional<check::DebugOutputReader> reader;
  if (!plain) {
    reader.emplace([&](const check::DebugLine& line) { reportLine(process, line, heldAt); });
    if (reader->open() != check::DebugOutputReader::Opening::kOpened) say("not-holding");
  }
  say("pid %lu", process.dwProcessId);
  ::ResumeThread(process.hThread);
  ::WaitForSingleObject(process.hProcess, INFINITE);
  if (reader) reader->catchUp();  // a program that has exited may have its last line unread
  DWORD code = 0;
  ::GetExitCodeProcess(process.hProcess, &code);
  say("exit %lu %lu", code, ::GetTickCount());
  if (errorPipe) {
    say("stderr %s", toHex(readToTheEnd(errorRead)).c_str());
    ::CloseHandle(errorRead);
  }
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return 0;
}

}  // namespace zeltra::helpers
