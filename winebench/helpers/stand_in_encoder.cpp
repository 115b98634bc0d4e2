// A stand-in for the encoder, built as ffmpeg.exe and placed beside the
// launcher in tests. Like the real encoder it is a console program; it writes
// down how it was started, keeps a top-level window (never shown) for the stop
// command's close request, takes Ctrl+C on its console and its stop key, q,
// from its console's input, and exits when asked any of these ways.
//
// Log lines, appended to stand-in-encoder.log beside it, one of these each:
//   - start <pid> <tick> <usesShowWindow> <showMode> <hex cwd> <hex parameter line>
//     <hex last argument>
//   - ready <pid> <tick>   once it hears requests: its console handler, its
//     window and any real encoder are in place. A request sent between start
//     and ready may go unheard, so whoever signals it waits for ready first.
//   - close <pid> <tick> <WM_CLOSE | CTRL_C | Q | encoder-ended>
//   - ignored <pid> <tick> <WM_CLOSE | CTRL_C | Q>
//   - exit <pid> <tick> <exit code of the real encoder, or 0>
// Behaviours, from the environment (the launcher passes its own on):
//   ZELTRA_STAND_IN_CLOSE_MS=n     takes n ms to close, like an encoder finishing its file
//   ZELTRA_STAND_IN_IGNORE=close   does not hear the close request (as under a pseudoconsole);
//                                  q and ctrl-c likewise, several with commas between
//   ZELTRA_STAND_IN_IGNORE=all     hears none of them
//   ZELTRA_STAND_IN_WITHOUT=name   lacks that encoder or input: -h says it does
//                                  not know it
// The questions -version and -h it answers itself, as an encoder with gdigrab
// and libxvid that lists no devices (some builds leave gdigrab out of
// -devices): whoever needs to know asks about the one name. A read-back to
// raw video it passes on to the real encoder, as the adapter, with its own
// standard handles, so the answer reaches whoever asked.
//
// When the real encoder lies beside it as ffmpeg-real.exe, it also forwards
// the parameter line verbatim to it, on its own console, and, when asked to
// close, writes "q" to its standard input and exits only once it has
// finished; a Ctrl+C reaches the real encoder directly through the shared
// console. The real encoder runs in a job that ends it when this adapter
// ends, so ending the adapter leaves no encoder behind. The adapter exists
// for Wine alone: there the console does not pass the close request on to a
// console program, so the real encoder would record forever. On Windows the
// real ffmpeg.exe lies beside the launcher and needs none of this.
#include <windows.h>  // first: shellapi.h builds on it

#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "helper_log.h"
#include "helper_text.h"
#include "platform/ansi_text.h"
#include "platform/command_line.h"

namespace {

using zeltra::helpers::toHex;

const std::wstring& directory() {
  static const std::wstring dir = zeltra::helpers::directoryOfThisProgram();
  return dir;
}

const std::wstring& realEncoderPath() {
  static const std::wstring path = directory() + L"\\ffmpeg-real.exe";
  return path;
}

void logLine(const std::string& line) {
  zeltra::helpers::appendLogLine(directory(), L"stand-in-encoder.log", line);
}

// The command line after the program name and the blanks that follow it,
// exactly as the launcher composed it, found by the launcher's own rule.
std::string parameterLine() {
  return zeltra::narrowToAnsi(zeltra::skipProgramName(::GetCommandLineW()));
}

// The last argument as the Windows argument rules give it.
std::string lastArgument() {
  int count = 0;
  LPWSTR* arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  std::string last =
      arguments != nullptr && count > 1 ? zeltra::narrowToAnsi(arguments[count - 1]) : "";
  ::LocalFree(arguments);
  return last;
}

std::string currentDirectory() {
  char buffer[MAX_PATH * 4];
  return std::string(buffer, ::GetCurrentDirectoryA(sizeof buffer, buffer));
}

std::string environmentText(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

bool ignores(const char* request) {
  const std::string ignored = "," + environmentText("ZELTRA_STAND_IN_IGNORE") + ",";
  return ignored == ",all," || ignored.find("," + std::string(request) + ",") != std::string::npos;
}

std::string stamp() {
  return std::to_string(::GetCurrentProcessId()) + " " + std::to_string(::GetTickCount());
}

struct RealEncoder {
  HANDLE process = nullptr;
  HANDLE input = nullptr;  // our end of its standard input
  HANDLE job = nullptr;    // ends it with the adapter
};

constexpr UINT kConsoleInterrupt = WM_APP + 1;
HWND standInWindow = nullptr;
RealEncoder encoder;

// The real encoder with that parameter line and those standard handles, in a
// job that ends it once the job's last handle closes, as it does when the
// adapter exits or is ended (at a time limit, say).
RealEncoder startInJob(const std::string& parameters, HANDLE input, HANDLE output, HANDLE errors,
                       DWORD flags) {
  std::wstring commandLine = L"\"" + realEncoderPath() + L"\" " + zeltra::widenFromAnsi(parameters);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdOutput = output;
  startup.hStdError = errors;
  PROCESS_INFORMATION process{};
  if (!::CreateProcessW(realEncoderPath().c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                        CREATE_SUSPENDED | flags, nullptr, nullptr, &startup, &process)) {
    return {};
  }
  const HANDLE job = ::CreateJobObjectA(nullptr, nullptr);
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  ::SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
  ::AssignProcessToJobObject(job, process.hProcess);
  ::ResumeThread(process.hThread);
  ::CloseHandle(process.hThread);
  return RealEncoder{process.hProcess, nullptr, job};
}

DWORD exitCodeOnceEnded(HANDLE process, DWORD boundMs) {
  ::WaitForSingleObject(process, boundMs);
  DWORD code = 0;
  ::GetExitCodeProcess(process, &code);
  ::CloseHandle(process);
  return code;
}

// Recording: its input a pipe, for the "q"; its output in a log beside it.
RealEncoder startRealEncoder(const std::string& parameters) {
  if (::GetFileAttributesW(realEncoderPath().c_str()) == INVALID_FILE_ATTRIBUTES) return {};
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  ::CreatePipe(&readEnd, &writeEnd, &inheritable, 0);
  ::SetHandleInformation(writeEnd, HANDLE_FLAG_INHERIT, 0);
  const HANDLE output = ::CreateFileW((directory() + L"\\ffmpeg-real.log").c_str(),
                                      FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      &inheritable, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  // On this console: a Ctrl+C sent to it reaches the real encoder as well,
  // unless this stand-in plays one that hears nothing (a group of its own
  // has Ctrl+C turned off).
  RealEncoder started = startInJob(parameters, readEnd, output, output,
                                   ignores("ctrl-c") ? CREATE_NEW_PROCESS_GROUP : 0);
  ::CloseHandle(readEnd);
  if (output != INVALID_HANDLE_VALUE) ::CloseHandle(output);
  if (started.process == nullptr) {
    ::CloseHandle(writeEnd);
  } else {
    started.input = writeEnd;
  }
  return started;
}

// Asks the real encoder to finish its file, as a person at its console would
// with "q" (unless Ctrl+C on the shared console has asked it already), and
// waits until it has.
DWORD finishRealEncoder(bool askWithQ) {
  if (encoder.process == nullptr) return 0;
  DWORD written = 0;
  if (askWithQ) ::WriteFile(encoder.input, "q", 1, &written, nullptr);
  ::CloseHandle(encoder.input);
  return exitCodeOnceEnded(encoder.process, 60000);
}

void finish(const std::string& reason) {
  logLine("close " + stamp() + " " + reason);
  if (const char* delay = std::getenv("ZELTRA_STAND_IN_CLOSE_MS"))
    ::Sleep(zeltra::helpers::toNumber(delay));
  const DWORD code = finishRealEncoder(/*askWithQ=*/reason != "CTRL_C");
  logLine("exit " + stamp() + " " + std::to_string(code));
  ::ExitProcess(0);
}

// Each request is either heard (and finishes the stand-in) or logged as ignored.
void request(const char* kind, const char* ignoredAs) {
  if (ignores(ignoredAs)) {
    logLine(std::string("ignored ") + stamp() + " " + kind);
    return;
  }
  finish(kind);
}

LRESULT CALLBACK standInProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CLOSE) {
    request("WM_CLOSE", "close");
  } else if (message == kConsoleInterrupt) {
    request("CTRL_C", "ctrl-c");
  } else {
    return ::DefWindowProcA(window, message, wParam, lParam);
  }
  return 0;
}

// Runs on a thread of the console's making: hand the event to the main thread.
BOOL WINAPI onConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  ::PostMessageA(standInWindow, kConsoleInterrupt, 0, 0);
  return TRUE;
}

// Takes what waits in its console's input; a "q" pressed is its stop key.
void readKeys(HANDLE keys) {
  INPUT_RECORD records[16];
  DWORD read = 0;
  if (!::ReadConsoleInputW(keys, records, 16, &read)) return;
  for (DWORD i = 0; i < read; ++i) {
    const KEY_EVENT_RECORD& key = records[i].Event.KeyEvent;
    if (records[i].EventType == KEY_EVENT && key.bKeyDown && key.uChar.UnicodeChar == L'q') {
      request("Q", "q");
    }
  }
}

bool holds(const std::string& parameters, const char* form) {
  return parameters.find(form) != std::string::npos;
}

// Whether the run only asks or reads a file back: nothing to stop, its output wanted.
bool recordsNothing(const std::string& parameters) {
  for (const char* form : {"-version", "-devices", "-h demuxer=", "-h encoder=", "-f rawvideo"}) {
    if (holds(parameters, form)) return true;
  }
  return false;
}

// "-h demuxer=gdigrab" and "-h encoder=libxvid" answered in FFmpeg's words,
// which exits with 0 for a name it does not know too.
void answerHelp(const std::string& parameters) {
  const bool demuxer = holds(parameters, "-h demuxer=");
  const size_t nameAt = parameters.find('=') + 1;
  const std::string name = parameters.substr(nameAt, parameters.find(' ', nameAt) - nameAt);
  const bool known = name != environmentText("ZELTRA_STAND_IN_WITHOUT") &&
                     name == (demuxer ? "gdigrab" : "libxvid");
  const std::string answer =
      !known ? (demuxer ? "Unknown format '" + name + "'.\n"
                        : "Codec '" + name + "' is not recognized by FFmpeg.\n")
      : demuxer
          ? "Demuxer gdigrab [GDI API Windows frame grabber]:\nGDIgrab indev AVOptions:\n"
          : "Encoder libxvid [libxvidcore MPEG-4 part 2]:\n    Supported pixel formats: yuv420p\n";
  std::fputs(answer.c_str(), stdout);
}

// The answer to a question, or the real encoder's to a read-back, on this
// one's standard handles; its exit code is this one's.
int answerWithoutRecording(const std::string& parameters) {
  int code = 0;
  if (holds(parameters, "-h demuxer=") || holds(parameters, "-h encoder=")) {
    answerHelp(parameters);
  } else if (holds(parameters, "-version")) {
    std::fputs("ffmpeg version stand-in of the Zeltra Wine bench\n", stdout);
  } else if (holds(parameters, "-f rawvideo") &&
             ::GetFileAttributesW(realEncoderPath().c_str()) != INVALID_FILE_ATTRIBUTES) {
    const RealEncoder real =
        startInJob(parameters, ::GetStdHandle(STD_INPUT_HANDLE), ::GetStdHandle(STD_OUTPUT_HANDLE),
                   ::GetStdHandle(STD_ERROR_HANDLE), 0);
    code =
        real.process != nullptr ? static_cast<int>(exitCodeOnceEnded(real.process, INFINITE)) : 1;
    if (real.job != nullptr) ::CloseHandle(real.job);
  } else {
    code = 1;  // no device listing; a read-back needs the real encoder
  }
  logLine("exit " + stamp() + " " + std::to_string(code));
  return code;
}

void logStart(const std::string& parameters) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  ::GetStartupInfoA(&startup);
  logLine("start " + stamp() + " " + ((startup.dwFlags & STARTF_USESHOWWINDOW) ? "1" : "0") + " " +
          std::to_string(startup.wShowWindow) + " " + toHex(currentDirectory()) + " " +
          toHex(parameters) + " " + toHex(lastArgument()));
}

}  // namespace

int main() {
  const std::string parameters = parameterLine();
  logStart(parameters);
  if (recordsNothing(parameters)) return answerWithoutRecording(parameters);

  const HINSTANCE instance = ::GetModuleHandleA(nullptr);
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = standInProc;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = "ZeltraStandInEncoder";
  ::RegisterClassA(&windowClass);
  // Never shown: it is there to be asked to close, not to be seen.
  standInWindow = ::CreateWindowExA(0, "ZeltraStandInEncoder", "stand-in encoder", WS_OVERLAPPED, 0,
                                    0, 10, 10, nullptr, nullptr, instance, nullptr);
  ::SetConsoleCtrlHandler(onConsoleEvent, TRUE);
  encoder = startRealEncoder(parameters);
  logLine("ready " + stamp());

  // Its console's input, where the stop key is typed, as the real encoder
  // reads its keys; none where it has no console.
  const HANDLE keys = ::GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = 0;
  const bool console = keys != nullptr && ::GetConsoleMode(keys, &mode);
  for (;;) {
    HANDLE waited[2];
    DWORD count = 0;
    if (encoder.process != nullptr) waited[count++] = encoder.process;
    if (console) waited[count++] = keys;
    const DWORD woke = ::MsgWaitForMultipleObjects(count, waited, FALSE, INFINITE, QS_ALLINPUT);
    if (encoder.process != nullptr && woke == WAIT_OBJECT_0) {
      finish("encoder-ended");  // the real encoder stopped on its own (an error, say)
    }
    if (console && woke == WAIT_OBJECT_0 + count - 1) readKeys(keys);
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) return 0;
      ::TranslateMessage(&msg);
      ::DispatchMessageA(&msg);
    }
  }
}
