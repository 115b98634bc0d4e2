// The reference the benchmark measures the launcher against: what a bare
// stop command and a bare start of the encoder cost on this machine, with
// none of the launcher's own work.
// Usage: bench_reference <hex encoder path>
// Prints "reference <before stop> <after stop> <after launch>" (GetTickCount).
#include <windows.h>  // first: shellapi.h builds on it

#include <shellapi.h>

#include <string>

#include "helper_text.h"

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const std::string encoder = zeltra::helpers::fromHex(argv[1]);
  char interpreter[MAX_PATH];
  ::GetEnvironmentVariableA("ComSpec", interpreter, MAX_PATH);
  std::string commandLine = std::string("\"") + interpreter + "\" /c taskkill /IM ffmpeg.exe";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  const DWORD beforeStop = ::GetTickCount();
  if (::CreateProcessA(interpreter, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                       nullptr, nullptr, &startup, &process)) {
    ::WaitForSingleObject(process.hProcess, INFINITE);
    ::CloseHandle(process.hProcess);
    ::CloseHandle(process.hThread);
  }
  const DWORD afterStop = ::GetTickCount();
  SHELLEXECUTEINFOA info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  info.lpVerb = "open";
  info.lpFile = encoder.c_str();
  info.lpParameters = "reference";
  info.nShow = SW_SHOWMINNOACTIVE;
  ::ShellExecuteExA(&info);
  const DWORD afterLaunch = ::GetTickCount();
  if (info.hProcess) ::CloseHandle(info.hProcess);
  zeltra::helpers::say("reference %lu %lu %lu", beforeStop, afterStop, afterLaunch);
  return 0;
}
