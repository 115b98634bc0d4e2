// The Windows implementation of the platform boundary, on the launcher's one
// thread: 8-bit ("A") calls for the texts the launcher reads in the ANSI code
// page and for its control window, wide ones for its own path and the
// encoder's start, so that the folder it is installed in may hold any
// character. It owns the window mechanics (the class, the window, the
// message loop), the consoles, the jobs and the process trees.
#include <windows.h>  // first: the other Windows headers build on it; NOMINMAX and
                      // WIN32_LEAN_AND_MEAN come from the build

#include <objbase.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "platform/ansi_text.h"
#include "platform/interpreter_command.h"
#include "platform/interpreter_run.h"
#include "platform/pending_lines.h"
#include "platform/platform.h"
#include "platform/scoped_handle.h"
#include "platform/system_library.h"
#include "platform/waits.h"
#include "platform/win32_platform.h"
#include "platform/window_frame.h"

namespace zeltra {
namespace {

// The exit code of what the platform ends itself (the command interpreter's
// processes at their bound), as "taskkill /F" gives.
constexpr UINT kEndedExitCode = 1;
// How often the wait for an ended job to empty looks again.
constexpr DWORD kJobPollMs = 10;
// Passes over the process list when ending a tree by hand: a child may start
// a grandchild between one pass and the next.
constexpr int kTreePasses = 3;
// How often the interpreter's output is read while it runs.
constexpr DWORD kPipeReadMs = 20;
// Far beyond a run's lines (a few kilobytes), for a caller that reads its
// pipe only once the launcher has exited.
constexpr size_t kCallersErrorBoundBytes = 64 * 1024;

// The standard error the caller handed over, where it did: a pipe or a file
// of the caller's. Decided by STARTF_USESTDHANDLES alone, since Wine hands a
// GUI program its starter's handles without it. A console's (a caller that
// redirected only its standard output hands its own console on) is left
// alone: a console write can block, as long as a text selection holds it.
// Not inherited, so that neither the encoder nor the stop command holds the
// caller's pipe open past the launcher's exit.
struct CallersError {
  HANDLE handle = nullptr;
  bool pipe = false;
};

CallersError takeCallersStandardError() {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  ::GetStartupInfoW(&startup);
  const HANDLE handle = startup.hStdError;
  if ((startup.dwFlags & STARTF_USESTDHANDLES) == 0 || handle == nullptr ||
      handle == INVALID_HANDLE_VALUE) {
    return {};
  }
  const DWORD type = ::GetFileType(handle);
  if (type != FILE_TYPE_PIPE && type != FILE_TYPE_DISK) return {};
  ::SetHandleInformation(handle, HANDLE_FLAG_INHERIT, 0);
  return {handle, type == FILE_TYPE_PIPE};
}

bool setPipeWaits(HANDLE pipe, bool waits) {
  DWORD mode = PIPE_READMODE_BYTE | (waits ? PIPE_WAIT : PIPE_NOWAIT);
  return ::SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr) != FALSE;
}

// A write to a full pipe would wait for its reader, and hold up the
// launcher's one thread for as long as the caller does not read. So a pipe
// is written without waiting, taking what fits. Its wait mode belongs to its
// end, which the caller and whoever else writes there share: it is changed
// only for the launcher's own write, and put back at once. A pipe that
// cannot be kept from waiting is not written at all.
std::optional<size_t> writeSome(const CallersError& to, const char* data, size_t size) {
  DWORD state = 0;
  const bool waits = to.pipe && !(::GetNamedPipeHandleStateW(to.handle, &state, nullptr, nullptr,
                                                             nullptr, nullptr, 0) &&
                                  (state & PIPE_NOWAIT) != 0);
  if (waits && !setPipeWaits(to.handle, false)) return std::nullopt;
  DWORD written = 0;
  const bool wrote =
      ::WriteFile(to.handle, data, static_cast<DWORD>(size), &written, nullptr) != FALSE;
  if (waits) setPipeWaits(to.handle, true);
  if (!wrote) return std::nullopt;
  return written;
}

// A bound on the walk over the windows with one title, not a limit anyone
// meets: windows reordered while it runs could send it round again.
constexpr int kMostWindowsWithOneTitle = 1024;
// The longest path the module-name call can return, its terminator included.
constexpr DWORD kLongestModulePath = 32768;

uint64_t fileTimeMs(const FILETIME& time) {
  return ((static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime) / 10000;
}

// When the process was created, in ms since 1601; 0 when it cannot be read.
uint64_t creationMs(HANDLE process) {
  FILETIME created{}, exited{}, kernel{}, user{};
  return ::GetProcessTimes(process, &created, &exited, &kernel, &user) ? fileTimeMs(created) : 0;
}

std::string systemDirectory() {
  char buffer[MAX_PATH];
  const UINT length = ::GetSystemDirectoryA(buffer, MAX_PATH);
  return length > 0 && length < MAX_PATH ? std::string(buffer, length) : std::string();
}

// The command interpreter the runtime's system() names first: %ComSpec%.
std::string configuredInterpreter() {
  char buffer[MAX_PATH];
  const DWORD length = ::GetEnvironmentVariableA("ComSpec", buffer, MAX_PATH);
  return length > 0 && length < MAX_PATH ? std::string(buffer, length) : std::string();
}

// Every process as a snapshot of the system shows it, with its creation time
// where it can be read.
std::vector<ProcessEntry> listProcesses() {
  std::vector<ProcessEntry> processes;
  const ScopedHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot.valid()) return processes;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Process32First(snapshot.get(), &entry); more;
       more = ::Process32Next(snapshot.get(), &entry)) {
    const ScopedHandle process(
        ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
    processes.push_back(ProcessEntry{entry.th32ProcessID, entry.th32ParentProcessID,
                                     process.valid() ? creationMs(process.get()) : 0});
  }
  return processes;
}

// The creation time the snapshot gave the process with that id; 0 when none.
uint64_t createdAtIn(const std::vector<ProcessEntry>& processes, uint32_t id) {
  for (const ProcessEntry& process : processes) {
    if (process.id == id) return process.createdAt;
  }
  return 0;
}

// One of the interpreter's output streams, read without blocking: the
// launcher has one thread, and a pipe whose writer hangs must not hang it.
class OutputPipe {
 public:
  // Far more than taskkill says for any number of encoders; beyond it the
  // text is dropped, not waited for.
  static constexpr size_t kMostKept = 64 * 1024;

  bool open() {
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, /*lpSecurityDescriptor=*/nullptr,
                                    /*bInheritHandle=*/TRUE};
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    if (!::CreatePipe(&read, &write, &inheritable, /*nSize=*/0)) return false;
    read_ = ScopedHandle(read);
    write_ = ScopedHandle(write);
    // The launcher's end stays its own.
    return ::SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0) != FALSE;
  }
  HANDLE writeEnd() const { return write_.get(); }
  void closeWriteEnd() { write_ = ScopedHandle(); }

  // Takes what is waiting in the pipe now.
  void drain() {
    DWORD waiting = 0;
    while (read_.valid() && ::PeekNamedPipe(read_.get(), nullptr, 0, nullptr, &waiting, nullptr) &&
           waiting > 0) {
      char buffer[4096];
      DWORD got = 0;
      if (!::ReadFile(read_.get(), buffer, std::min<DWORD>(waiting, sizeof buffer), &got,
                      nullptr) ||
          got == 0) {
        return;
      }
      text_.append(buffer, std::min<size_t>(got, kMostKept - std::min(kMostKept, text_.size())));
    }
  }
  const std::string& text() const { return text_; }

 private:
  ScopedHandle read_;
  ScopedHandle write_;
  std::string text_;
};

// The Windows steps of one run of the command interpreter, without a console
// window and from the system directory, its output read through two pipes.
class Win32InterpreterSteps final : public InterpreterSteps {
 public:
  Win32InterpreterSteps(const std::string& interpreter, const std::string& commandText,
                        const std::string& systemDir)
      : interpreter_(interpreter),
        commandLine_(interpreterCommandLine(interpreter, commandText)),
        systemDir_(systemDir) {}

  Start startSuspended(bool breakaway) override {
    output_ = OutputPipe();
    errors_ = OutputPipe();
    if (!output_.open() || !errors_.open()) return Start::kFailed;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output_.writeEnd();
    startup.hStdError = errors_.writeEnd();
    PROCESS_INFORMATION process{};
    // No console window: a flash of one would land in the recording. The
    // two pipes' write ends are the only handles the interpreter inherits:
    // the launcher holds no other inheritable one.
    const DWORD flags =
        CREATE_NO_WINDOW | CREATE_SUSPENDED | (breakaway ? CREATE_BREAKAWAY_FROM_JOB : 0);
    std::string commandLine = commandLine_;
    const BOOL created =
        ::CreateProcessA(interpreter_.c_str(), commandLine.data(), nullptr, nullptr,
                         /*bInheritHandles=*/TRUE, flags, /*lpEnvironment=*/nullptr,
                         systemDir_.empty() ? nullptr : systemDir_.c_str(), &startup, &process);
    const DWORD error = ::GetLastError();
    // Only the interpreter holds the write ends now, so a read sees their
    // end once it and what it started are gone.
    output_.closeWriteEnd();
    errors_.closeWriteEnd();
    if (!created) {
      return breakaway && error == ERROR_ACCESS_DENIED ? Start::kBreakawayRefused : Start::kFailed;
    }
    process_ = ScopedHandle(process.hProcess);
    thread_ = ScopedHandle(process.hThread);
    return Start::kStarted;
  }

  bool containInOwnJob() override {
    ScopedHandle job(::CreateJobObjectA(/*lpJobAttributes=*/nullptr, /*lpName=*/nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    // Closing the job (this object's end) ends whatever is left in it.
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!job.valid() ||
        !::SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits,
                                   sizeof limits) ||
        !::AssignProcessToJobObject(job.get(), process_.get())) {
      return false;
    }
    job_ = std::move(job);
    return true;
  }

  void resume() override { ::ResumeThread(thread_.get()); }

  // Reads what the command writes while it runs: a pipe it filled would
  // hold it up until the bound.
  bool waitForExit(uint32_t timeoutMs) override {
    const DWORD beganAt = ::GetTickCount();
    for (;;) {
      const DWORD left = remainingMs(beganAt, timeoutMs);
      const bool exited = ::WaitForSingleObject(
                              process_.get(), std::min<DWORD>(left, kPipeReadMs)) == WAIT_OBJECT_0;
      output_.drain();
      errors_.drain();
      if (exited) return true;
      if (left == 0) return false;
    }
  }

  bool endJob(uint32_t timeoutMs) override {
    const DWORD beganAt = ::GetTickCount();
    ::TerminateJobObject(job_.get(), kEndedExitCode);
    for (;;) {
      JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting{};
      if (!::QueryInformationJobObject(job_.get(), JobObjectBasicAccountingInformation, &accounting,
                                       sizeof accounting, nullptr)) {
        // The count cannot be read: the interpreter's own end is all there is to wait for.
        return ::WaitForSingleObject(process_.get(), remainingMs(beganAt, timeoutMs)) ==
               WAIT_OBJECT_0;
      }
      if (accounting.ActiveProcesses == 0) return true;
      if (remainingMs(beganAt, timeoutMs) == 0) return false;
      ::Sleep(kJobPollMs);
    }
  }

  bool endProcessTree(uint32_t timeoutMs) override {
    const DWORD beganAt = ::GetTickCount();
    const ProcessEntry root{::GetProcessId(process_.get()), 0, creationMs(process_.get())};
    // Ended first, so that it starts nothing more while its children are found.
    ::TerminateProcess(process_.get(), kEndedExitCode);
    std::vector<ScopedHandle> ended;
    std::vector<uint32_t> seen;
    for (int pass = 0; pass < kTreePasses; ++pass) {
      bool endedMore = false;
      const std::vector<ProcessEntry> processes = listProcesses();
      for (const uint32_t id : descendantsOf(root, processes)) {
        if (std::find(seen.begin(), seen.end(), id) != seen.end()) continue;
        seen.push_back(id);
        ScopedHandle child(::OpenProcess(
            PROCESS_TERMINATE | SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
        if (!child.valid()) continue;  // gone already
        // The id may have been handed to a new process since the snapshot:
        // only the very process the snapshot showed is this tree's.
        if (creationMs(child.get()) != createdAtIn(processes, id)) continue;
        ::TerminateProcess(child.get(), kEndedExitCode);
        ended.push_back(std::move(child));
        endedMore = true;
      }
      if (!endedMore) break;
    }
    ended.push_back(std::move(process_));
    return waitForAll(ended, beganAt, timeoutMs);
  }

  // What the command said, and its exit code once it has returned.
  CommandRun report(CommandEnd end) const {
    CommandRun run;
    run.end = end;
    DWORD code = 0;
    if (::GetExitCodeProcess(process_.get(), &code)) run.exitCode = code;
    run.output = output_.text();
    run.errors = errors_.text();
    return run;
  }

 private:
  std::string interpreter_;
  std::string commandLine_;
  std::string systemDir_;
  ScopedHandle process_;
  ScopedHandle thread_;
  ScopedHandle job_;  // closing it ends anything still in it (kill-on-close)
  OutputPipe output_;
  OutputPipe errors_;
};

// A process the launcher holds a handle on.
class Win32Process final : public Process {
 public:
  Win32Process(HANDLE handle, uint32_t id) : handle_(handle), id_(id) {}

  HANDLE handle() const { return handle_.get(); }
  uint32_t id() const override { return id_; }

  bool waitForExit(uint32_t timeoutMs) override {
    return ::WaitForSingleObject(handle_.get(), timeoutMs) == WAIT_OBJECT_0;
  }

  ConsoleRequest askThroughConsole(ConsoleAsk ask) override {
    ConsoleRequest result;
    // A process attaches to one console at most, and AttachConsole says
    // ERROR_ACCESS_DENIED when it holds one. The launcher let go of its
    // starter's at its start; should it hold one again, it lets go of that
    // and attaches again. The request then goes to this console alone.
    result.attached = id_ != 0 && ::AttachConsole(id_) != FALSE;
    if (!result.attached && id_ != 0 && ::GetLastError() == ERROR_ACCESS_DENIED) {
      result.releasedHeldConsole = ::FreeConsole() != FALSE;
      result.attached = ::AttachConsole(id_) != FALSE;
    }
    if (!result.attached) {
      result.attachError = ::GetLastError();
      return result;
    }
    result.sent = ask == ConsoleAsk::kStopKey ? typeStopKey() : sendCtrlC();
    if (!result.sent) result.sendError = ::GetLastError();
    ::FreeConsole();
    return result;
  }

  Termination terminate(uint32_t exitCode, uint32_t goneWaitMs) override {
    Termination termination;
    if (!::TerminateProcess(handle_.get(), exitCode)) {
      termination.error = ::GetLastError();
      // Windows refuses to end a process that has exited (ERROR_ACCESS_DENIED).
      if (waitForExit(0)) termination.result = Termination::Result::kHadExited;
      return termination;
    }
    // Ending is asynchronous: wait so that whoever comes next sees it gone.
    if (waitForExit(goneWaitMs)) {
      termination.result = Termination::Result::kEnded;
    } else {
      termination.error = WAIT_TIMEOUT;
    }
    return termination;
  }

  ProcessExit readExit() override {
    ProcessExit result;
    DWORD code = 0;
    if (::GetExitCodeProcess(handle_.get(), &code)) result.exitCode = code;
    FILETIME created{}, exited{}, kernel{}, user{};
    if (::GetProcessTimes(handle_.get(), &created, &exited, &kernel, &user) &&
        fileTimeMs(exited) >= fileTimeMs(created)) {
      result.ranMs = fileTimeMs(exited) - fileTimeMs(created);
    }
    return result;
  }

 private:
  // "q" pressed and let go on the attached console's keyboard, as the
  // console's input buffer holds keys for whoever reads them.
  static bool typeStopKey() {
    const ScopedHandle input(::CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE,
                                           /*lpSecurityAttributes=*/nullptr, OPEN_EXISTING, 0,
                                           /*hTemplateFile=*/nullptr));
    if (!input.valid()) return false;
    INPUT_RECORD keys[2] = {};
    for (int i = 0; i < 2; ++i) {
      keys[i].EventType = KEY_EVENT;
      keys[i].Event.KeyEvent.bKeyDown = i == 0;
      keys[i].Event.KeyEvent.wRepeatCount = 1;
      keys[i].Event.KeyEvent.wVirtualKeyCode = 'Q';
      keys[i].Event.KeyEvent.wVirtualScanCode =
          static_cast<WORD>(::MapVirtualKeyW('Q', MAPVK_VK_TO_VSC));
      keys[i].Event.KeyEvent.uChar.UnicodeChar = L'q';
    }
    DWORD written = 0;
    return ::WriteConsoleInputW(input.get(), keys, 2, &written) && written == 2;
  }

  static bool sendCtrlC() {
    // Attached, the launcher would get the event too, and by default end on it.
    ::SetConsoleCtrlHandler(/*HandlerRoutine=*/nullptr, /*Add=*/TRUE);
    return ::GenerateConsoleCtrlEvent(CTRL_C_EVENT, /*dwProcessGroupId=*/0) != FALSE;
  }

  ScopedHandle handle_;
  uint32_t id_;
};

class Win32Platform;
// The one platform of this process, for the window procedure and the window
// watch's hook, which Windows calls without a context of the launcher's.
Win32Platform* thePlatform = nullptr;

LRESULT CALLBACK controlWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void CALLBACK noteWindowChange(HWINEVENTHOOK, DWORD, HWND window, LONG object, LONG child, DWORD,
                               DWORD);

class Win32Platform final : public Platform {
 public:
  explicit Win32Platform(HINSTANCE instance) : instance_(instance) {
    // A GUI program gets no console from Windows, but Wine hands it its
    // starter's. Held, it would be the encoder's too, and the launcher would
    // have to let go of it to attach to the encoder's at the stop; Wine lets
    // go of a console asynchronously, and an AttachConsole right after
    // FreeConsole is then refused now and then (ERROR_INVALID_HANDLE), which
    // cost that stop its Ctrl+C. So it goes first thing, long before the stop.
    ::FreeConsole();
    if (const CallersError callersError = takeCallersStandardError(); callersError.handle) {
      callersError_.emplace(
          [callersError](const char* data, size_t size) {
            return writeSome(callersError, data, size);
          },
          kCallersErrorBoundBytes);
    }
    // Recommended before the shell launches anything; harmless when it is
    // not needed. Any failure leaves the launch to cope on its own.
    comReady_ =
        SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE));
    thePlatform = this;
  }
  ~Win32Platform() override {
    stopWindowWatch();
    // The run is over: the window's end at exit must not reach the launcher's logic.
    procedure_ = nullptr;
    if (window_ != nullptr) ::DestroyWindow(window_);
    thePlatform = nullptr;
    if (comReady_) ::CoUninitialize();
    if (callersError_) callersError_->flush();  // a last chance for lines a full pipe held
  }
  Win32Platform(const Win32Platform&) = delete;
  Win32Platform& operator=(const Win32Platform&) = delete;

  // Messages of the control window, from Windows.
  LRESULT onMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY && window == window_)
      window_ = nullptr;  // going: not to be destroyed again
    if (procedure_ && procedure_(message) == MessageAnswer::kHandled) return 0;
    return ::DefWindowProcA(window, message, wParam, lParam);
  }
  void onWindowChange() { windowChanged_ = true; }

  bool openControlWindow(const std::string& name, int32_t showMode,
                         ControlWindowProcedure procedure) override {
    procedure_ = std::move(procedure);
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = controlWindowMessage;
    windowClass.hInstance = instance_;
    windowClass.lpszClassName = name.c_str();
    ::RegisterClassA(&windowClass);  // where it fails, so does the creation
    window_ = ::CreateWindowExA(/*dwExStyle=*/0, name.c_str(), name.c_str(), WS_OVERLAPPEDWINDOW,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                /*hWndParent=*/nullptr, /*hMenu=*/nullptr, instance_,
                                /*lpParam=*/nullptr);
    if (window_ == nullptr) return false;
    ::ShowWindow(window_, showMode);
    return true;
  }

  void closeControlWindow() override {
    if (window_ != nullptr) ::DestroyWindow(window_);
    ::PostQuitMessage(0);
  }

  Event waitForEvent(Process* watched, bool watchWindows, uint32_t timeoutMs) override {
    static_assert(kWaitForever == INFINITE);
    if (watchWindows) {
      startWindowWatch();
    } else {
      stopWindowWatch();
    }
    HANDLE handle = watched != nullptr ? static_cast<Win32Process*>(watched)->handle() : nullptr;
    const DWORD count = handle != nullptr ? 1 : 0;
    const DWORD beganAt = ::GetTickCount();
    for (;;) {
      // An end seen before the messages are served came before them: a stop
      // message still waiting cannot have caused it, so it is said as the
      // end it was, not as the stop's doing.
      if (count == 1 && ::WaitForSingleObject(handle, 0) == WAIT_OBJECT_0) {
        return Event::kProcessExited;
      }
      MSG msg;
      while (::PeekMessageA(&msg, /*hWnd=*/nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) return Event::kQuit;
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
      }
      // Out-of-context hook calls arrive like messages sent to this thread,
      // so the wait below wakes for them; the note is read after the pump.
      if (watchWindows && windowChanged_) {
        windowChanged_ = false;
        return Event::kWindowChanged;
      }
      const DWORD left = remainingMs(beganAt, timeoutMs);
      if (left == 0) return Event::kTimedOut;
      // MWMO_INPUTAVAILABLE: wake for messages already queued too, not only new ones.
      if (::MsgWaitForMultipleObjectsEx(count, &handle, left, QS_ALLINPUT, MWMO_INPUTAVAILABLE) ==
          WAIT_FAILED) {
        return Event::kFailed;
      }
    }
  }

  std::vector<FoundWindow> findWindowsTitled(const std::string& title) override {
    std::vector<FoundWindow> found;
    const DwmAttributeReader readAttribute = dwmAttributeReader();
    HWND window = nullptr;
    for (int seen = 0; seen < kMostWindowsWithOneTitle; ++seen) {
      window =
          ::FindWindowExA(/*hWndParent=*/nullptr, window, /*lpszClass=*/nullptr, title.c_str());
      if (window == nullptr) break;
      DWORD cloaked = 0;
      found.push_back(
          {window, ::IsWindowVisible(window) != FALSE, ::IsIconic(window) != FALSE,
           readAttribute != nullptr &&
               SUCCEEDED(readAttribute(window, kDwmaCloaked, &cloaked, sizeof cloaked)) &&
               cloaked != 0});
    }
    return found;
  }

  std::optional<WindowMeasure> measureWindow(WindowHandle window) override {
    const HWND hwnd = static_cast<HWND>(window);
    RECT r;
    if (!::GetWindowRect(hwnd, &r)) return std::nullopt;
    WindowMeasure measure;
    measure.rect = Rect{r.left, r.top, r.right, r.bottom};
    const DwmAttributeReader readAttribute = dwmAttributeReader();
    RECT frame;
    if (readAttribute != nullptr &&
        SUCCEEDED(readAttribute(hwnd, kDwmaExtendedFrameBounds, &frame, sizeof frame))) {
      measure.visibleFrame = Rect{frame.left, frame.top, frame.right, frame.bottom};
    }
    measure.screen = VirtualScreen{
        ::GetSystemMetrics(SM_XVIRTUALSCREEN), ::GetSystemMetrics(SM_YVIRTUALSCREEN),
        ::GetSystemMetrics(SM_CXVIRTUALSCREEN), ::GetSystemMetrics(SM_CYVIRTUALSCREEN)};
    measure.perMonitorDpiAware = threadIsPerMonitorDpiAware();
    measure.scalePercent = displayScalePercent();
    return measure;
  }

  std::wstring readOwnPath() override {
    // A full buffer means the path was cut short; read it again, larger.
    for (DWORD capacity = MAX_PATH;; capacity *= 2) {
      std::wstring buffer(capacity, L'\0');
      const DWORD length = ::GetModuleFileNameW(/*hModule=*/nullptr, buffer.data(), capacity);
      if (length < capacity || capacity >= kLongestModulePath) {
        buffer.resize(std::min(length, capacity));
        return buffer;
      }
    }
  }

  // No flags: best fit and "?" as GetCommandLineA and GetModuleFileNameA
  // convert, so every folder the code page holds gives the same text as before.
  std::string toAnsiCodePage(const std::wstring& text) override { return narrowToAnsi(text); }

  std::wstring fromAnsiCodePage(const std::string& text) override { return widenFromAnsi(text); }

  std::optional<std::vector<RunningProcess>> findRunningProcesses(
      const std::string& imageName) override {
    // The snapshot holds every process of the session and beyond, so it sees
    // at least what taskkill could reach.
    const ScopedHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot.valid()) return std::nullopt;
    DWORD ownSession = 0;
    ::ProcessIdToSessionId(::GetCurrentProcessId(), &ownSession);
    std::vector<RunningProcess> found;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32First(snapshot.get(), &entry); more;
         more = ::Process32Next(snapshot.get(), &entry)) {
      // Without regard to case, as taskkill compares image names.
      if (::lstrcmpiA(entry.szExeFile, imageName.c_str()) != 0) continue;
      RunningProcess running;
      running.id = entry.th32ProcessID;
      // Held from here on, the handle is this very process, whatever id
      // Windows hands out later. Another session's (a service's, another
      // user's) is not waited on: the stop command cannot close it.
      DWORD session = 0;
      const HANDLE handle = ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION,
                                          /*bInheritHandle=*/FALSE, entry.th32ProcessID);
      if (handle != nullptr && ::ProcessIdToSessionId(entry.th32ProcessID, &session) &&
          session == ownSession) {
        running.process = std::make_unique<Win32Process>(handle, entry.th32ProcessID);
      } else if (handle != nullptr) {
        ::CloseHandle(handle);
      }
      found.push_back(std::move(running));
    }
    return found;
  }

  CommandRun runHiddenCommand(const std::string& commandText, uint32_t boundMs,
                              uint32_t goneWaitMs) override {
    // Started from the system directory: the interpreter looks in the current
    // directory before the path, so a taskkill.exe or .bat planted in the
    // caller's directory would otherwise run instead of the system's.
    const std::string systemDir = systemDirectory();
    const std::string configured = configuredInterpreter();
    if (!configured.empty()) {
      Win32InterpreterSteps steps(configured, commandText, systemDir);
      const InterpreterRun run = runInterpreter(steps, boundMs, goneWaitMs);
      if (run != InterpreterRun::kNotStarted) return commandRun(steps, run, CommandEnd::kReturned);
    }
    // As the runtime's system() does when %ComSpec% is unset or cannot start.
    Win32InterpreterSteps fallback(systemDir + "\\cmd.exe", commandText, systemDir);
    const InterpreterRun run = runInterpreter(fallback, boundMs, goneWaitMs);
    if (run != InterpreterRun::kNotStarted) {
      return commandRun(fallback, run, CommandEnd::kReturnedByFallback);
    }
    return {};
  }

  std::unique_ptr<Process> startMinimized(const std::wstring& file,
                                          const std::wstring& parameters) override {
    // Clears the flag a new process group or a starter's
    // SetConsoleCtrlHandler(NULL, TRUE) set, which the program would inherit:
    // Ctrl+C through its console is how the launcher asks it to finish where
    // the stop command does not reach it. Works without a console.
    ::SetConsoleCtrlHandler(/*HandlerRoutine=*/nullptr, /*Add=*/FALSE);
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    // No UI: a failed launch must not raise an error box, which would block
    // the only thread and with it the caller's stop request. No zone check:
    // for a program still marked as downloaded the shell would otherwise ask
    // first, in a modal loop that serves a stop message in the middle of the
    // launch, or refuse it. Whoever put ffmpeg.exe beside the launcher chose it.
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOZONECHECKS;
    info.lpVerb = L"open";
    info.lpFile = file.c_str();
    info.lpParameters = parameters.c_str();
    // Minimized and not activated: an activated console would take the
    // keyboard from the recorded window, and a "q" typed there ends a recording.
    info.nShow = SW_SHOWMINNOACTIVE;
    if (!::ShellExecuteExW(&info) || info.hProcess == nullptr) return nullptr;
    return std::make_unique<Win32Process>(info.hProcess, ::GetProcessId(info.hProcess));
  }

  void pause(uint32_t milliseconds) override { ::Sleep(milliseconds); }

  uint32_t readTickCount() override { return ::GetTickCount(); }

  void writeDiagnostic(const std::string& line) override {
    ::OutputDebugStringA(line.c_str());
    if (callersError_) callersError_->add(line);
  }

 private:
  static CommandRun commandRun(const Win32InterpreterSteps& steps, InterpreterRun run,
                               CommandEnd returned) {
    switch (run) {
      case InterpreterRun::kReturned:
        return steps.report(returned);
      case InterpreterRun::kEndedAtBound:
        return CommandRun{CommandEnd::kEndedAtBound, 0, {}, {}};
      case InterpreterRun::kStillRunningAtBound:
      case InterpreterRun::kNotStarted:
        break;
    }
    return CommandRun{CommandEnd::kStillRunningAtBound, 0, {}, {}};
  }

  // While watching, a top-level window appearing, showing, being renamed or
  // restored from minimized anywhere on the desktop wakes the wait.
  void startWindowWatch() {
    if (!hooks_.empty()) return;
    windowChanged_ = false;
    // Loaded before the wait, so that a window's appearance does not wait for it.
    dwmAttributeReader();
    // One hook per event: a range would take in location changes, which the
    // cursor alone sends many times a second.
    for (const DWORD event : {EVENT_OBJECT_CREATE, EVENT_OBJECT_SHOW, EVENT_OBJECT_NAMECHANGE,
                              EVENT_SYSTEM_MINIMIZEEND}) {
      const HWINEVENTHOOK hook = ::SetWinEventHook(
          event, event, /*hmodWinEventProc=*/nullptr, noteWindowChange,
          /*idProcess=*/0, /*idThread=*/0, WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS);
      if (hook != nullptr) hooks_.push_back(hook);
    }
  }

  void stopWindowWatch() {
    for (const HWINEVENTHOOK hook : hooks_) ::UnhookWinEvent(hook);
    hooks_.clear();
  }

  HINSTANCE instance_;
  HWND window_ = nullptr;
  ControlWindowProcedure procedure_;
  std::vector<HWINEVENTHOOK> hooks_;
  bool windowChanged_ = false;
  bool comReady_ = false;
  std::optional<PendingLines> callersError_;
};

LRESULT CALLBACK controlWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (thePlatform == nullptr) return ::DefWindowProcA(window, message, wParam, lParam);
  return thePlatform->onMessage(window, message, wParam, lParam);
}

void CALLBACK noteWindowChange(HWINEVENTHOOK, DWORD, HWND window, LONG object, LONG child, DWORD,
                               DWORD) {
  // Only whole windows count, not the cursor, carets or controls' parts.
  if (thePlatform != nullptr && window != nullptr && object == OBJID_WINDOW &&
      child == CHILDID_SELF) {
    thePlatform->onWindowChange();
  }
}

}  // namespace

std::unique_ptr<Platform> makeWin32Platform(HINSTANCE instance) {
  return std::make_unique<Win32Platform>(instance);
}

}  // namespace zeltra
