// A stand-in for the encoder, built as ffmpeg.exe and placed beside the
// launcher in tests. It writes down how it was started, keeps a top-level
// window, and exits when asked to close (WM_CLOSE, which the stop command
// sends), as the console encoder does on Windows.
//
// Log lines, appended to stand-in-encoder.log beside it:
//   start <pid> <tick> <usesShowWindow> <showMode> <hex cwd> <hex parameter line> <hex last
//   argument> close <pid> <tick> exit <pid> <tick> <exit code of the real encoder, or 0>
// ZELTRA_STAND_IN_CLOSE_MS makes it take that long to close, like an
// encoder finishing its file.
//
// When the real encoder lies beside it as ffmpeg-real.exe, it also forwards
// the parameter line verbatim to it and, when asked to close, writes "q" to
// its standard input and exits only once it has finished. That adapter exists
// for Wine alone: there the console does not pass the close request on to a
// console program, so the real encoder would record forever. On Windows the
// real ffmpeg.exe lies beside the launcher and needs none of this.
//
// It is a GUI program, unlike the real encoder: a console program started
// from the launcher would get a console window of its own under Wine, which
// could stand over the recorded window.
#include <windows.h>  // first: shellapi.h builds on it

#include <shellapi.h>

#include <cstdlib>
#include <string>

#include "helper_text.h"

namespace {

using zeltra::helpers::toHex;

std::string directoryOfThisProgram() {
  char path[MAX_PATH * 4];
  const DWORD length = ::GetModuleFileNameA(nullptr, path, sizeof path);
  std::string text(path, length);
  return text.substr(0, text.find_last_of("\\/"));
}

const std::string& directory() {
  static const std::string dir = directoryOfThisProgram();
  return dir;
}

void logLine(const std::string& line) {
  const HANDLE file = ::CreateFileA((directory() + "\\stand-in-encoder.log").c_str(),
                                    FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  const std::string text = line + "\n";
  DWORD written = 0;
  ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  ::CloseHandle(file);
}

// The command line after the program name and the blanks that follow it,
// exactly as the launcher composed it.
std::string parameterLine() {
  const char* p = ::GetCommandLineA();
  if (*p == '"') {
    ++p;
    while (*p != '\0' && *p != '"') ++p;
    if (*p == '"') ++p;
  } else {
    while (*p != '\0' && *p != ' ' && *p != '\t') ++p;
  }
  while (*p == ' ' || *p == '\t') ++p;
  return p;
}

// The last argument as the Windows argument rules give it.
std::string lastArgument() {
  int count = 0;
  LPWSTR* arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  std::string last;
  if (arguments != nullptr && count > 1) {
    const int size =
        ::WideCharToMultiByte(CP_ACP, 0, arguments[count - 1], -1, nullptr, 0, nullptr, nullptr);
    last.resize(size > 0 ? size - 1 : 0);
    ::WideCharToMultiByte(CP_ACP, 0, arguments[count - 1], -1, last.data(), size, nullptr, nullptr);
  }
  ::LocalFree(arguments);
  return last;
}

std::string currentDirectory() {
  char buffer[MAX_PATH * 4];
  const DWORD length = ::GetCurrentDirectoryA(sizeof buffer, buffer);
  return std::string(buffer, length);
}

struct RealEncoder {
  HANDLE process = nullptr;
  HANDLE input = nullptr;  // our end of its standard input
};

RealEncoder encoder;

RealEncoder startRealEncoder(const std::string& parameters) {
  const std::string path = directory() + "\\ffmpeg-real.exe";
  if (::GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) return {};
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  ::CreatePipe(&readEnd, &writeEnd, &inheritable, 0);
  ::SetHandleInformation(writeEnd, HANDLE_FLAG_INHERIT, 0);
  const HANDLE output = ::CreateFileA((directory() + "\\ffmpeg-real.log").c_str(), FILE_APPEND_DATA,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = readEnd;
  startup.hStdOutput = output;
  startup.hStdError = output;
  std::string commandLine = "\"" + path + "\" " + parameters;
  PROCESS_INFORMATION process{};
  const BOOL started = ::CreateProcessA(path.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                        CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process);
  ::CloseHandle(readEnd);
  if (output != INVALID_HANDLE_VALUE) ::CloseHandle(output);
  if (!started) {
    ::CloseHandle(writeEnd);
    return {};
  }
  ::CloseHandle(process.hThread);
  return RealEncoder{process.hProcess, writeEnd};
}

// Asks the real encoder to finish its file, as a person at its console would
// with "q", and waits until it has.
DWORD finishRealEncoder() {
  if (encoder.process == nullptr) return 0;
  DWORD written = 0;
  ::WriteFile(encoder.input, "q", 1, &written, nullptr);
  ::CloseHandle(encoder.input);
  ::WaitForSingleObject(encoder.process, 60000);
  DWORD code = 0;
  ::GetExitCodeProcess(encoder.process, &code);
  ::CloseHandle(encoder.process);
  return code;
}

void finish(const char* reason) {
  logLine(std::string("close ") + std::to_string(::GetCurrentProcessId()) + " " +
          std::to_string(::GetTickCount()) + " " + reason);
  if (const char* delay = std::getenv("ZELTRA_STAND_IN_CLOSE_MS"))
    ::Sleep(zeltra::helpers::toNumber(delay));
  const DWORD code = finishRealEncoder();
  logLine("exit " + std::to_string(::GetCurrentProcessId()) + " " +
          std::to_string(::GetTickCount()) + " " + std::to_string(code));
  ::ExitProcess(0);
}

LRESULT CALLBACK standInProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CLOSE) finish("WM_CLOSE");
  return ::DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  ::GetStartupInfoA(&startup);
  const std::string parameters = parameterLine();
  logLine("start " + std::to_string(::GetCurrentProcessId()) + " " +
          std::to_string(::GetTickCount()) + " " +
          ((startup.dwFlags & STARTF_USESHOWWINDOW) ? "1" : "0") + " " +
          std::to_string(startup.wShowWindow) + " " + toHex(currentDirectory()) + " " +
          toHex(parameters) + " " + toHex(lastArgument()));

  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = standInProc;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = "ZeltraStandInEncoder";
  ::RegisterClassA(&windowClass);
  // Never shown: it is there to be asked to close, not to be seen.
  ::CreateWindowExA(0, "ZeltraStandInEncoder", "stand-in encoder", WS_OVERLAPPED, 0, 0, 10, 10,
                    nullptr, nullptr, instance, nullptr);
  encoder = startRealEncoder(parameters);

  for (;;) {
    const DWORD count = encoder.process != nullptr ? 1 : 0;
    const DWORD woke =
        ::MsgWaitForMultipleObjects(count, &encoder.process, FALSE, INFINITE, QS_ALLINPUT);
    if (count == 1 && woke == WAIT_OBJECT_0) {
      finish("encoder ended");  // the real encoder stopped on its own (an error, say)
    }
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) return 0;
      ::TranslateMessage(&msg);
      ::DispatchMessageA(&msg);
    }
  }
}
