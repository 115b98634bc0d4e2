// bench_tool reference: what the benchmark measures the launcher against,
// what a bare start of the encoder and a bare stop command cost on this
// machine, with none of the launcher's own work. The stop is measured as the
// launcher's is: the encoder is running and listening, the stop command runs
// (the very line the launcher composes), and the stop ends when that encoder
// has exited.
// Usage: bench_tool reference <hex encoder path>
// Prints "started <before launch> <after launch>", then, once a line arrives
// on its input (the driver sends it when the encoder listens), runs the stop
// command and prints "reference <before stop> <after stop> <encoder exited>"
// (GetTickCount; the encoder's exit 0 when it had not exited within kBoundMs).
#include <windows.h>

#include <cstdio>
#include <string>

#include "bench_tool.h"
#include "launcher/stop.h"
#include "platform/ansi_text.h"
#include "platform/interpreter_command.h"
#include "platform/win32_platform.h"

namespace zeltra::helpers {
namespace {

// Each wait's bound: the bench fails a run that takes longer.
constexpr DWORD kBoundMs = 60000;

// The stop command as the launcher runs it, from the system directory,
// without its job and bound: nothing hangs here.
void runStopCommand() {
  char interpreter[MAX_PATH];
  ::GetEnvironmentVariableA("ComSpec", interpreter, MAX_PATH);
  char systemDir[MAX_PATH];
  ::GetSystemDirectoryA(systemDir, MAX_PATH);
  std::string commandLine = interpreterCommandLine(interpreter, kStopCommand);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (::CreateProcessA(interpreter, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                       nullptr, systemDir, &startup, &process)) {
    ::WaitForSingleObject(process.hProcess, kBoundMs);
    ::CloseHandle(process.hProcess);
    ::CloseHandle(process.hThread);
  }
}

}  // namespace

int benchReference(const Words& words) {
  // The encoder started as the launcher starts it, through its platform, made first as the
  // launcher's is.
  const std::unique_ptr<Platform> platform = makeWin32Platform(::GetModuleHandleA(nullptr));
  const DWORD beforeLaunch = ::GetTickCount();
  const std::unique_ptr<Process> encoder =
      platform->startMinimized(widenFromAnsi(fromHex(words[0])), L"reference");
  say("started %lu %lu", beforeLaunch, ::GetTickCount());
  char go[16];
  if (encoder == nullptr || std::fgets(go, sizeof go, stdin) == nullptr) return 3;
  const DWORD beforeStop = ::GetTickCount();
  runStopCommand();
  const DWORD afterStop = ::GetTickCount();
  const bool exited = encoder->waitForExit(kBoundMs);
  say("reference %lu %lu %lu", beforeStop, afterStop, exited ? ::GetTickCount() : 0UL);
  return 0;
}

}  // namespace zeltra::helpers
