// The Windows implementation of the platform boundary, on the launcher's one
// thread: 8-bit ("A") calls for the texts the launcher reads in the ANSI code
// page, wide ones for its own path and the encoder's start, so that the
// folder it is installed in may hold any character.
#include <windows.h>  // first: the other Windows headers build on it; NOMINMAX and
                      // WIN32_LEAN_AND_MEAN come from the build

#include <objbase.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <string>
#include <vector>

#include "launcher/encoder_stop.h"
#include "launcher/interpreter_command.h"
#include "launcher/interpreter_run.h"
#include "platform/ansi_text.h"
#include "platform/platform.h"
#include "platform/scoped_handle.h"
#include "platform/system_library.h"
#include "platform/window_frame.h"

namespace zeltra {
namespace {

// The launcher's window procedure, called through a WNDPROC of Windows' own
// calling convention. Once the platform is gone (windows torn down at exit)
// messages go straight to the default handling.
WindowProcedure launcherProcedure = nullptr;

LRESULT CALLBACK forwardToLauncher(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (launcherProcedure == nullptr) {
    return ::DefWindowProcA(window, message, wParam, lParam);
  }
  return launcherProcedure(window, message, wParam, lParam);
}

// Set by the window watch's hook, read by the wait.
bool windowChanged = false;

void CALLBACK noteWindowChange(HWINEVENTHOOK, DWORD, HWND window, LONG object, LONG child, DWORD,
                               DWORD) {
  // Only whole windows count, not the cursor, carets or controls' parts.
  if (window != nullptr && object == OBJID_WINDOW && child == CHILDID_SELF) {
    windowChanged = true;
  }
}

Message toMessage(const MSG& msg) { return Message{msg.hwnd, msg.message, msg.wParam, msg.lParam}; }

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

uint64_t fileTimeMs(const FILETIME& time) {
  return ((static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime) / 10000;
}

// When the process was created, in ms since 1601; 0 when it cannot be read.
uint64_t creationMs(HANDLE process) {
  FILETIME created{}, exited{}, kernel{}, user{};
  return ::GetProcessTimes(process, &created, &exited, &kernel, &user) ? fileTimeMs(created) : 0;
}

// How often the wait for an ended job to empty looks again.
constexpr DWORD kJobPollMs = 10;
// Passes over the process list when ending a tree by hand: a child may start
// a grandchild between one pass and the next.
constexpr int kTreePasses = 3;

// Waits until every handle is signalled or the deadline passes, in batches of
// what one wait takes. True when all were.
bool waitForAll(const std::vector<ScopedHandle>& handles, DWORD beganAt, uint32_t timeoutMs) {
  for (size_t first = 0; first < handles.size(); first += MAXIMUM_WAIT_OBJECTS) {
    std::vector<HANDLE> batch;
    for (size_t i = first; i < handles.size() && batch.size() < MAXIMUM_WAIT_OBJECTS; ++i) {
      batch.push_back(handles[i].get());
    }
    const DWORD elapsed = ::GetTickCount() - beganAt;
    const DWORD left = elapsed >= timeoutMs ? 0 : timeoutMs - elapsed;
    if (::WaitForMultipleObjects(static_cast<DWORD>(batch.size()), batch.data(), TRUE, left) >=
        WAIT_OBJECT_0 + batch.size()) {
      return false;
    }
  }
  return true;
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

// How often the interpreter's output is read while it runs.
constexpr DWORD kPipeReadMs = 20;

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

// The creation time the snapshot gave the process with that id; 0 when none.
uint64_t createdAtIn(const std::vector<ProcessEntry>& processes, uint32_t id) {
  for (const ProcessEntry& process : processes) {
    if (process.id == id) return process.createdAt;
  }
  return 0;
}

// The Windows steps of one run of the command interpreter, without a console
// window and from the system directory.
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
      const DWORD elapsed = ::GetTickCount() - beganAt;
      const DWORD left = elapsed >= timeoutMs ? 0 : timeoutMs - elapsed;
      const bool exited = ::WaitForSingleObject(
                              process_.get(), std::min<DWORD>(left, kPipeReadMs)) == WAIT_OBJECT_0;
      output_.drain();
      errors_.drain();
      if (exited) return true;
      if (left == 0) return false;
    }
  }

  // What the command said; its exit code once it has returned.
  CommandReport report() const {
    CommandReport report;
    DWORD code = 0;
    if (::GetExitCodeProcess(process_.get(), &code)) report.exitCode = code;
    report.output = output_.text();
    report.errors = errors_.text();
    return report;
  }

  bool endJob(uint32_t timeoutMs) override {
    const DWORD beganAt = ::GetTickCount();
    ::TerminateJobObject(job_.get(), kTerminatedExitCode);
    for (;;) {
      JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting{};
      if (!::QueryInformationJobObject(job_.get(), JobObjectBasicAccountingInformation, &accounting,
                                       sizeof accounting, nullptr)) {
        // The count cannot be read: the interpreter's own end is all there is to wait for.
        return waitForExit(timeoutMs);
      }
      if (accounting.ActiveProcesses == 0) return true;
      if (::GetTickCount() - beganAt >= timeoutMs) return false;
      ::Sleep(kJobPollMs);
    }
  }

  bool endProcessTree(uint32_t timeoutMs) override {
    const DWORD beganAt = ::GetTickCount();
    const ProcessEntry root{::GetProcessId(process_.get()), 0, creationMs(process_.get())};
    // Ended first, so that it starts nothing more while its children are found.
    ::TerminateProcess(process_.get(), kTerminatedExitCode);
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
        ::TerminateProcess(child.get(), kTerminatedExitCode);
        ended.push_back(std::move(child));
        endedMore = true;
      }
      if (!endedMore) break;
    }
    ended.push_back(std::move(process_));
    return waitForAll(ended, beganAt, timeoutMs);
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

CommandOutcome atBound(InterpreterRun run, CommandOutcome returned) {
  switch (run) {
    case InterpreterRun::kEndedAtBound:
      return CommandOutcome::kEndedAtBound;
    case InterpreterRun::kStillRunningAtBound:
      return CommandOutcome::kStillRunningAtBound;
    case InterpreterRun::kReturned:
    case InterpreterRun::kNotStarted:
      break;
  }
  return returned;
}

class Win32Platform final : public Platform {
 public:
  Win32Platform() {
    // A GUI program gets no console from Windows, but Wine hands it its
    // starter's. Held, it would be the encoder's too, and the launcher would
    // have to let go of it to attach to the encoder's at the stop; Wine lets
    // go of a console asynchronously, and an AttachConsole right after
    // FreeConsole is then refused now and then (ERROR_INVALID_HANDLE), which
    // cost that stop its Ctrl+C. So it goes first thing, long before the stop.
    ::FreeConsole();
    // Recommended before the shell launches anything; harmless when it is
    // not needed. Any failure leaves the launch to cope on its own.
    comReady_ =
        SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE));
  }
  ~Win32Platform() override {
    stopWindowWatch();
    launcherProcedure = nullptr;
    if (comReady_) ::CoUninitialize();
  }
  Win32Platform(const Win32Platform&) = delete;
  Win32Platform& operator=(const Win32Platform&) = delete;

  bool registerWindowClass(const std::string& className, WindowProcedure procedure,
                           InstanceHandle instance) override {
    launcherProcedure = procedure;
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = forwardToLauncher;
    windowClass.hInstance = static_cast<HINSTANCE>(instance);
    windowClass.lpszClassName = className.c_str();
    return ::RegisterClassA(&windowClass) != 0;
  }

  WindowHandle createWindow(const WindowRequest& r) override {
    return ::CreateWindowExA(r.extendedStyle, r.className.c_str(), r.title.c_str(), r.style, r.x,
                             r.y, r.width, r.height, static_cast<HWND>(r.parent),
                             static_cast<HMENU>(r.menu), static_cast<HINSTANCE>(r.instance),
                             r.creationData);
  }

  void showWindow(WindowHandle window, int32_t showMode) override {
    ::ShowWindow(static_cast<HWND>(window), showMode);
  }

  void destroyWindow(WindowHandle window) override { ::DestroyWindow(static_cast<HWND>(window)); }

  intptr_t defaultWindowProcedure(WindowHandle window, uint32_t message, uintptr_t wParam,
                                  intptr_t lParam) override {
    return ::DefWindowProcA(static_cast<HWND>(window), message, wParam, lParam);
  }

  Wake waitForMessageOrProcessExit(ProcessHandle process, uint32_t timeoutMs) override {
    static_assert(kWaitForever == INFINITE);
    HANDLE handle = static_cast<HANDLE>(process);
    const DWORD count = handle != nullptr ? 1 : 0;
    // MWMO_INPUTAVAILABLE: wake for messages already queued too, not only new ones.
    const DWORD woke =
        ::MsgWaitForMultipleObjectsEx(count, &handle, timeoutMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (count == 1 && woke == WAIT_OBJECT_0) return Wake::kProcessExited;
    if (woke == WAIT_OBJECT_0 + count) return Wake::kMessage;
    if (woke == WAIT_TIMEOUT) return Wake::kTimedOut;
    return Wake::kFailed;
  }

  bool takePendingMessage(Message& message) override {
    if (!::PeekMessageA(&last_, /*hWnd=*/nullptr, 0, 0, PM_REMOVE)) {
      return false;
    }
    message = toMessage(last_);
    return true;
  }

  void translateMessage(const Message& message) override {
    const MSG msg = toMsg(message);
    ::TranslateMessage(&msg);
  }

  intptr_t dispatchMessage(const Message& message) override {
    const MSG msg = toMsg(message);
    return ::DispatchMessageA(&msg);
  }

  void postQuit(int32_t exitCode) override { ::PostQuitMessage(exitCode); }

  void startWindowWatch() override {
    windowChanged = false;
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

  void stopWindowWatch() override {
    for (const HWINEVENTHOOK hook : hooks_) ::UnhookWinEvent(hook);
    hooks_.clear();
  }

  void waitForMessageOrWindowChange(uint32_t timeoutMs) override {
    // Out-of-context hook calls arrive like messages sent to this thread, so
    // the same wait wakes for them; the note is read after the next pump.
    if (windowChanged) {
      windowChanged = false;
      return;
    }
    // MWMO_INPUTAVAILABLE: wake for input already queued too, not only new.
    ::MsgWaitForMultipleObjectsEx(0, nullptr, timeoutMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  }

  WindowHandle findTopLevelWindow(const std::string& title, WindowHandle after) override {
    // A look starts from the top: changes from here on are seen by the next one.
    if (after == nullptr) windowChanged = false;
    return ::FindWindowExA(/*hWndParent=*/nullptr, static_cast<HWND>(after),
                           /*lpszClass=*/nullptr, title.c_str());
  }

  WindowState readWindowState(WindowHandle window) override {
    const HWND hwnd = static_cast<HWND>(window);
    WindowState state;
    state.visible = ::IsWindowVisible(hwnd) != FALSE;
    state.minimized = ::IsIconic(hwnd) != FALSE;
    DWORD cloaked = 0;
    const DwmAttributeReader readAttribute = dwmAttributeReader();
    state.cloaked = readAttribute != nullptr &&
                    SUCCEEDED(readAttribute(hwnd, kDwmaCloaked, &cloaked, sizeof cloaked)) &&
                    cloaked != 0;
    return state;
  }

  bool isPerMonitorDpiAware() override { return threadIsPerMonitorDpiAware(); }

  bool readVisibleFrame(WindowHandle window, Rect& rect) override {
    const DwmAttributeReader readAttribute = dwmAttributeReader();
    RECT r;
    if (readAttribute == nullptr ||
        FAILED(readAttribute(static_cast<HWND>(window), kDwmaExtendedFrameBounds, &r, sizeof r))) {
      return false;
    }
    rect = Rect{r.left, r.top, r.right, r.bottom};
    return true;
  }

  bool readWindowRect(WindowHandle window, Rect& rect) override {
    RECT r;
    if (!::GetWindowRect(static_cast<HWND>(window), &r)) {
      return false;
    }
    rect = Rect{r.left, r.top, r.right, r.bottom};
    return true;
  }

  VirtualScreen readVirtualScreen() override {
    return VirtualScreen{
        ::GetSystemMetrics(SM_XVIRTUALSCREEN), ::GetSystemMetrics(SM_YVIRTUALSCREEN),
        ::GetSystemMetrics(SM_CXVIRTUALSCREEN), ::GetSystemMetrics(SM_CYVIRTUALSCREEN)};
  }

  uint32_t readModuleFileName(wchar_t* buffer, uint32_t capacity) override {
    return ::GetModuleFileNameW(/*hModule=*/nullptr, buffer, capacity);
  }

  // No flags: best fit and "?" as GetCommandLineA and GetModuleFileNameA
  // convert, so every folder the code page holds gives the same text as before.
  std::string toAnsiCodePage(const std::wstring& text) override { return narrowToAnsi(text); }

  std::wstring fromAnsiCodePage(const std::string& text) override { return widenFromAnsi(text); }

  bool isLeadByte(uint8_t byte) override { return ::IsDBCSLeadByte(byte) != FALSE; }

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
      RunningProcess process;
      process.id = entry.th32ProcessID;
      // Held from here on, the handle is this very process, whatever id
      // Windows hands out later. Another session's (a service's, another
      // user's) is not waited on: the stop command cannot close it.
      DWORD session = 0;
      HANDLE handle = ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION,
                                    /*bInheritHandle=*/FALSE, entry.th32ProcessID);
      if (handle != nullptr) {
        process.createdAt = creationMs(handle);
        if (::ProcessIdToSessionId(entry.th32ProcessID, &session) && session == ownSession) {
          process.handle = handle;
        } else {
          ::CloseHandle(handle);
        }
      }
      found.push_back(process);
    }
    return found;
  }

  CommandOutcome runHiddenCommand(const std::string& commandText, uint32_t boundMs,
                                  CommandReport& report) override {
    // Started from the system directory: the interpreter looks in the current
    // directory before the path, so a taskkill.exe or .bat planted in the
    // caller's directory would otherwise run instead of the system's.
    const std::string systemDir = systemDirectory();
    const std::string configured = configuredInterpreter();
    if (!configured.empty()) {
      Win32InterpreterSteps steps(configured, commandText, systemDir);
      const InterpreterRun run = runInterpreter(steps, boundMs);
      if (run == InterpreterRun::kReturned) report = steps.report();
      if (run != InterpreterRun::kNotStarted) return atBound(run, CommandOutcome::kRan);
    }
    // As the runtime's system() does when %ComSpec% is unset or cannot start.
    Win32InterpreterSteps fallback(systemDir + "\\cmd.exe", commandText, systemDir);
    const InterpreterRun run = runInterpreter(fallback, boundMs);
    if (run == InterpreterRun::kReturned) report = fallback.report();
    if (run != InterpreterRun::kNotStarted) return atBound(run, CommandOutcome::kRanByFallback);
    return CommandOutcome::kInterpreterFailed;
  }

  void stopIgnoringCtrlC() override {
    // Clears the flag a new process group or a starter's
    // SetConsoleCtrlHandler(NULL, TRUE) set; works without a console.
    ::SetConsoleCtrlHandler(/*HandlerRoutine=*/nullptr, /*Add=*/FALSE);
  }

  ProcessHandle launchProcess(const ShellLaunchRequest& request) override {
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = request.mask;
    info.lpVerb = request.verb.c_str();
    info.lpFile = request.file.c_str();
    info.lpParameters = request.parameters.c_str();
    info.nShow = request.showMode;
    if (!::ShellExecuteExW(&info)) {
      return nullptr;
    }
    return info.hProcess;
  }

  bool waitForProcessExit(ProcessHandle process, uint32_t timeoutMs) override {
    return ::WaitForSingleObject(static_cast<HANDLE>(process), timeoutMs) == WAIT_OBJECT_0;
  }

  ConsoleInterrupt interruptConsoleProcess(ProcessHandle process) override {
    ConsoleInterrupt result;
    const DWORD processId = ::GetProcessId(static_cast<HANDLE>(process));
    // A process attaches to one console at most, and AttachConsole says
    // ERROR_ACCESS_DENIED when it holds one. The launcher let go of its
    // starter's at its start; should it hold one again, it lets go of that
    // and attaches again. The event then goes to the processes on the
    // encoder's console alone.
    result.attached = processId != 0 && ::AttachConsole(processId) != FALSE;
    if (!result.attached && processId != 0 && ::GetLastError() == ERROR_ACCESS_DENIED) {
      result.releasedHeldConsole = ::FreeConsole() != FALSE;
      result.attached = ::AttachConsole(processId) != FALSE;
    }
    if (!result.attached) {
      result.attachError = ::GetLastError();
      return result;
    }
    // Attached, the launcher would get the event too, and by default end on it.
    ::SetConsoleCtrlHandler(/*HandlerRoutine=*/nullptr, /*Add=*/TRUE);
    result.sent = ::GenerateConsoleCtrlEvent(CTRL_C_EVENT, /*dwProcessGroupId=*/0) != FALSE;
    if (!result.sent) result.sendError = ::GetLastError();
    ::FreeConsole();
    return result;
  }

  Termination terminateProcess(ProcessHandle process, uint32_t exitCode) override {
    const HANDLE handle = static_cast<HANDLE>(process);
    Termination termination;
    if (!::TerminateProcess(handle, exitCode)) {
      termination.error = ::GetLastError();
      // Windows refuses to end a process that has exited (ERROR_ACCESS_DENIED).
      if (::WaitForSingleObject(handle, 0) == WAIT_OBJECT_0) {
        termination.result = Termination::Result::kHadExited;
      }
      return termination;
    }
    // Ending is asynchronous: wait (boundedly) so that whoever comes next sees it ended.
    if (::WaitForSingleObject(handle, kEndedProcessWaitMs) == WAIT_OBJECT_0) {
      termination.result = Termination::Result::kEnded;
    } else {
      termination.error = WAIT_TIMEOUT;
    }
    return termination;
  }

  uint32_t readProcessId(ProcessHandle process) override {
    return ::GetProcessId(static_cast<HANDLE>(process));
  }

  ProcessExit readProcessExit(ProcessHandle process) override {
    const HANDLE handle = static_cast<HANDLE>(process);
    ProcessExit result;
    DWORD code = 0;
    if (::GetExitCodeProcess(handle, &code)) result.exitCode = code;
    FILETIME created{}, exited{}, kernel{}, user{};
    if (::GetProcessTimes(handle, &created, &exited, &kernel, &user) &&
        fileTimeMs(exited) >= fileTimeMs(created)) {
      result.ranMs = fileTimeMs(exited) - fileTimeMs(created);
    }
    return result;
  }

  void releaseProcess(ProcessHandle process) override {
    const ScopedHandle owned(static_cast<HANDLE>(process));
  }

  void pause(uint32_t milliseconds) override { ::Sleep(milliseconds); }

  uint32_t readTickCount() override { return ::GetTickCount(); }

  void writeDiagnostic(const std::string& line) override { ::OutputDebugStringA(line.c_str()); }

 private:
  // The full record of the last message fetched, so that translation and
  // dispatch see its time and cursor position too.
  MSG toMsg(const Message& message) const {
    MSG msg = last_;
    if (toMessage(last_).window != message.window || last_.message != message.message ||
        last_.wParam != message.wParam || last_.lParam != message.lParam) {
      msg = MSG{};
      msg.hwnd = static_cast<HWND>(message.window);
      msg.message = message.message;
      msg.wParam = message.wParam;
      msg.lParam = message.lParam;
    }
    return msg;
  }

  MSG last_{};
  std::vector<HWINEVENTHOOK> hooks_;
  bool comReady_ = false;
};

}  // namespace

std::unique_ptr<Platform> makeWin32Platform() { return std::make_unique<Win32Platform>(); }

}  // namespace zeltra
