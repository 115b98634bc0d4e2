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
//   ZELTRA_STAND_IN_EXIT=n         exits at once with code n, as the encoder does on a bad path
//   ZELTRA_STAND_IN_WITHOUT=name   lacks that encoder or device: leaves it out of
//                                  its answers, and -h says it does not know it
//   ZELTRA_STAND_IN_UNLISTED=name  leaves it out of the -devices and -encoders
//                                  listings only, as some builds leave gdigrab
//                                  out of -devices; -h still describes it. The
//                                  adapter then answers questions itself and
//                                  passes on only the read-back.
// Runs that do not record (the questions -version, -encoders, -devices and
// -h, and a read-back to raw video) it answers itself as an encoder with
// gdigrab and libxvid, or, as the adapter, passes on to the real encoder with
// its own standard handles, so the answer reaches whoever asked.
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

void logLine(const std::string& line) {
  zeltra::helpers::appendLogLine(directory(), L"stand-in-encoder.log", line);
}

// The command line after the program name and the blanks that follow it,
// exactly as the launcher composed it, found by the launcher's own rule.
std::string parameterLine() {
  return zeltra::invocationFromWideCommandLine(::GetCommandLineW(), zeltra::narrowToAnsi);
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
  HANDLE job = nullptr;    // ends it with the adapter
};

constexpr UINT kConsoleInterrupt = WM_APP + 1;
HWND standInWindow = nullptr;

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

// A job that ends every process in it once its last handle closes, as it does
// when the adapter exits or is ended.
HANDLE makeKillOnCloseJob() {
  const HANDLE job = ::CreateJobObjectA(nullptr, nullptr);
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  ::SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
  return job;
}

RealEncoder encoder;

RealEncoder startRealEncoder(const std::string& parameters) {
  const std::wstring path = directory() + L"\\ffmpeg-real.exe";
  if (::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return {};
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  ::CreatePipe(&readEnd, &writeEnd, &inheritable, 0);
  ::SetHandleInformation(writeEnd, HANDLE_FLAG_INHERIT, 0);
  const HANDLE output = ::CreateFileW((directory() + L"\\ffmpeg-real.log").c_str(),
                                      FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      &inheritable, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = readEnd;
  startup.hStdOutput = output;
  startup.hStdError = output;
  std::wstring commandLine = L"\"" + path + L"\" " + zeltra::widenFromAnsi(parameters);
  PROCESS_INFORMATION process{};
  // On this console: a Ctrl+C sent to it reaches the real encoder as well,
  // unless this stand-in plays one that hears nothing (a group of its own
  // has Ctrl+C turned off).
  const DWORD group = ignores("ctrl-c") ? CREATE_NEW_PROCESS_GROUP : 0;
  const BOOL started =
      ::CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                       CREATE_SUSPENDED | group, nullptr, nullptr, &startup, &process);
  ::CloseHandle(readEnd);
  if (output != INVALID_HANDLE_VALUE) ::CloseHandle(output);
  if (!started) {
    ::CloseHandle(writeEnd);
    return {};
  }
  const HANDLE job = makeKillOnCloseJob();
  ::AssignProcessToJobObject(job, process.hProcess);
  ::ResumeThread(process.hThread);
  ::CloseHandle(process.hThread);
  return RealEncoder{process.hProcess, writeEnd, job};
}

// Asks the real encoder to finish its file, as a person at its console would
// with "q" (unless Ctrl+C on the shared console has asked it already), and
// waits until it has.
DWORD finishRealEncoder(bool askWithQ) {
  if (encoder.process == nullptr) return 0;
  DWORD written = 0;
  if (askWithQ) ::WriteFile(encoder.input, "q", 1, &written, nullptr);
  ::CloseHandle(encoder.input);
  ::WaitForSingleObject(encoder.process, 60000);
  DWORD code = 0;
  ::GetExitCodeProcess(encoder.process, &code);
  ::CloseHandle(encoder.process);
  return code;
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
void request(const char* kind) {
  const std::string k = kind;
  if (ignores(k == "WM_CLOSE" ? "close" : k == "Q" ? "q" : "ctrl-c")) {
    logLine(std::string("ignored ") + stamp() + " " + kind);
    return;
  }
  finish(kind);
}

LRESULT CALLBACK standInProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CLOSE) {
    request("WM_CLOSE");
    return 0;
  }
  if (message == kConsoleInterrupt) {
    request("CTRL_C");
    return 0;
  }
  return ::DefWindowProcA(window, message, wParam, lParam);
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
      request("Q");
    }
  }
}

// Whether the run only asks or reads a file back: nothing to stop, its output wanted.
bool recordsNothing(const std::string& parameters) {
  for (const char* form :
       {"-version", "-encoders", "-devices", "-h demuxer=", "-h encoder=", "-f rawvideo"}) {
    if (parameters.find(form) != std::string::npos) return true;
  }
  return false;
}

// "-h demuxer=gdigrab" and "-h encoder=libxvid" answered in FFmpeg's words,
// which exits with 0 for a name it does not know too.
void answerHelp(const std::string& parameters, const std::string& without) {
  const bool demuxer = parameters.find("-h demuxer=") != std::string::npos;
  const size_t nameAt = parameters.find('=') + 1;
  const std::string name = parameters.substr(nameAt, parameters.find(' ', nameAt) - nameAt);
  const bool known = name != without && (demuxer ? name == "gdigrab" : name == "libxvid");
  if (!known) {
    std::fputs((demuxer ? "Unknown format '" + name + "'.\n"
                        : "Codec '" + name + "' is not recognized by FFmpeg.\n")
                   .c_str(),
               stdout);
  } else if (demuxer) {
    std::fputs("Demuxer gdigrab [GDI API Windows frame grabber]:\nGDIgrab indev AVOptions:\n",
               stdout);
  } else {
    std::fputs(
        "Encoder libxvid [libxvidcore MPEG-4 part 2]:\n    Supported pixel formats: "
        "yuv420p\n",
        stdout);
  }
}

// The answers of an encoder that has gdigrab and libxvid, in FFmpeg's layout.
int answerAsStandIn(const std::string& parameters) {
  const std::string without = environmentText("ZELTRA_STAND_IN_WITHOUT");
  const std::string unlisted = environmentText("ZELTRA_STAND_IN_UNLISTED");
  const auto entry = [&without, &unlisted](const char* name, const char* line) {
    if (without != name && unlisted != name) std::fputs(line, stdout);
  };
  if (parameters.find("-h demuxer=") != std::string::npos ||
      parameters.find("-h encoder=") != std::string::npos) {
    answerHelp(parameters, without);
  } else if (parameters.find("-version") != std::string::npos) {
    std::fputs("ffmpeg version stand-in of the Zeltra Wine bench\n", stdout);
  } else if (parameters.find("-devices") != std::string::npos) {
    std::fputs("Devices:\n D. = Demuxing supported\n .E = Muxing supported\n --\n", stdout);
    entry("gdigrab", " D  gdigrab         GDI API Windows frame grabber\n");
    entry("sdl", "  E sdl,sdl2        SDL2 output device\n");
  } else if (parameters.find("-encoders") != std::string::npos) {
    std::fputs("Encoders:\n V..... = Video\n ------\n", stdout);
    entry("libxvid", " V..... libxvid              libxvidcore MPEG-4 part 2 (codec mpeg4)\n");
    entry("mpeg4", " V..... mpeg4                MPEG-4 part 2\n");
  } else {
    return 1;  // a read-back needs the real encoder
  }
  return 0;
}

// The real encoder on this one's standard handles; its exit code is this one's.
int passOnToRealEncoder(const std::wstring& path, const std::string& parameters) {
  std::wstring commandLine = L"\"" + path + L"\" " + zeltra::widenFromAnsi(parameters);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = ::GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION process{};
  if (!::CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED,
                        nullptr, nullptr, &startup, &process)) {
    return 1;
  }
  // In the job, so that ending this adapter (at a time limit, say) ends it too.
  const HANDLE job = makeKillOnCloseJob();
  ::AssignProcessToJobObject(job, process.hProcess);
  ::ResumeThread(process.hThread);
  ::CloseHandle(process.hThread);
  ::WaitForSingleObject(process.hProcess, INFINITE);
  ::CloseHandle(job);
  DWORD code = 0;
  ::GetExitCodeProcess(process.hProcess, &code);
  ::CloseHandle(process.hProcess);
  return static_cast<int>(code);
}

// The adapter passes questions on as well, unless it plays a build whose
// listings differ from the real one's: then only the read-back goes on.
int answerWithoutRecording(const std::string& parameters) {
  const std::wstring real = directory() + L"\\ffmpeg-real.exe";
  const bool readsBack = parameters.find("-f rawvideo") != std::string::npos;
  const bool ownListings = !environmentText("ZELTRA_STAND_IN_UNLISTED").empty();
  const int code =
      ::GetFileAttributesW(real.c_str()) != INVALID_FILE_ATTRIBUTES && (readsBack || !ownListings)
          ? passOnToRealEncoder(real, parameters)
          : answerAsStandIn(parameters);
  logLine("exit " + stamp() + " " + std::to_string(code));
  return code;
}

}  // namespace

int main() {
  const HINSTANCE instance = ::GetModuleHandleA(nullptr);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  ::GetStartupInfoA(&startup);
  const std::string parameters = parameterLine();
  logLine("start " + std::to_string(::GetCurrentProcessId()) + " " +
          std::to_string(::GetTickCount()) + " " +
          ((startup.dwFlags & STARTF_USESHOWWINDOW) ? "1" : "0") + " " +
          std::to_string(startup.wShowWindow) + " " + toHex(currentDirectory()) + " " +
          toHex(parameters) + " " + toHex(lastArgument()));
  const std::string exitCode = environmentText("ZELTRA_STAND_IN_EXIT");
  if (!exitCode.empty()) {
    logLine("exit " + stamp() + " " + exitCode);
    return static_cast<int>(zeltra::helpers::toNumber(exitCode.c_str()));
  }
  if (recordsNothing(parameters)) return answerWithoutRecording(parameters);

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
