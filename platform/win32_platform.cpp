// The Windows implementation of the platform boundary: 8-bit ("A") calls on
// the launcher's one thread.
#include <windows.h>  // first: the other Windows headers build on it; NOMINMAX and
                      // WIN32_LEAN_AND_MEAN come from the build

#include <objbase.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/scoped_handle.h"

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

// Loads a DLL of the system directory by its full path. By name alone only
// the known system DLLs are safe: for any other, a DLL of that name planted
// in the launcher's folder would be loaded instead. Null when it cannot be
// loaded. Its own imports are looked for beside it first.
HMODULE loadSystemLibrary(const char* fileName) {
  const std::string directory = systemDirectory();
  if (directory.empty()) return nullptr;
  return ::LoadLibraryExA((directory + "\\" + fileName).c_str(), /*hFile=*/nullptr,
                          LOAD_WITH_ALTERED_SEARCH_PATH);
}

// The compositor's window attributes, named as dwmapi.h names them; that
// header offers them only to builds for Windows 8 and later.
constexpr DWORD kDwmaExtendedFrameBounds = 9;  // DWMWA_EXTENDED_FRAME_BOUNDS
constexpr DWORD kDwmaCloaked = 14;             // DWMWA_CLOAKED
// DPI_AWARENESS_PER_MONITOR_AWARE, for per-monitor awareness of either version.
constexpr int kPerMonitorAware = 2;

using DwmAttributeReader = HRESULT(WINAPI*)(HWND, DWORD, PVOID, DWORD);
using ThreadDpiContextReader = HANDLE(WINAPI*)();
using DpiAwarenessReader = int(WINAPI*)(HANDLE);

// A function looked up at run time, typed; null where the DLL lacks it.
template <typename Function>
Function lookUp(HMODULE module, const char* name) {
  if (module == nullptr) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

// The command interpreter the runtime's system() names first: %ComSpec%.
std::string configuredInterpreter() {
  char buffer[MAX_PATH];
  const DWORD length = ::GetEnvironmentVariableA("ComSpec", buffer, MAX_PATH);
  return length > 0 && length < MAX_PATH ? std::string(buffer, length) : std::string();
}

// Runs "<interpreter> /c <command>" from the system directory, without a
// console window, and waits for it. False when the interpreter did not start.
bool runThroughInterpreter(const std::string& interpreter, const std::string& commandText,
                           const std::string& systemDir) {
  std::string commandLine = "\"" + interpreter + "\" /c " + commandText;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  // No console window: a flash of one would land in the recording.
  if (!::CreateProcessA(interpreter.c_str(), commandLine.data(), nullptr, nullptr,
                        /*bInheritHandles=*/FALSE, CREATE_NO_WINDOW, /*lpEnvironment=*/nullptr,
                        systemDir.empty() ? nullptr : systemDir.c_str(), &startup, &process)) {
    return false;
  }
  const ScopedHandle processHandle(process.hProcess);
  const ScopedHandle threadHandle(process.hThread);
  ::WaitForSingleObject(processHandle.get(), INFINITE);
  return true;
}

uint64_t fileTimeMs(const FILETIME& time) {
  return ((static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime) / 10000;
}

class Win32Platform final : public Platform {
 public:
  Win32Platform() {
    // Recommended before the shell launches anything; harmless when it is
    // not needed. Any failure leaves the launch to cope on its own.
    comReady_ =
        SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE));
  }
  ~Win32Platform() override {
    stopWindowWatch();
    launcherProcedure = nullptr;
    if (dwm_ != nullptr) ::FreeLibrary(dwm_);
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

  Wake waitForMessageOrProcessExit(ProcessHandle process) override {
    HANDLE handle = static_cast<HANDLE>(process);
    const DWORD count = handle != nullptr ? 1 : 0;
    // MWMO_INPUTAVAILABLE: wake for messages already queued too, not only new ones.
    const DWORD woke =
        ::MsgWaitForMultipleObjectsEx(count, &handle, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (count == 1 && woke == WAIT_OBJECT_0) return Wake::kProcessExited;
    if (woke == WAIT_OBJECT_0 + count) return Wake::kMessage;
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

  bool isPerMonitorDpiAware() override {
    // Both calls arrived with Windows 10 1607; user32.dll is a known DLL and
    // loaded already.
    const HMODULE user32 = ::GetModuleHandleA("user32.dll");
    const auto threadContext =
        lookUp<ThreadDpiContextReader>(user32, "GetThreadDpiAwarenessContext");
    const auto awarenessOf =
        lookUp<DpiAwarenessReader>(user32, "GetAwarenessFromDpiAwarenessContext");
    return threadContext != nullptr && awarenessOf != nullptr &&
           awarenessOf(threadContext()) == kPerMonitorAware;
  }

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

  uint32_t readModuleFileName(char* buffer, uint32_t capacity) override {
    return ::GetModuleFileNameA(/*hModule=*/nullptr, buffer, capacity);
  }

  bool isLeadByte(uint8_t byte) override { return ::IsDBCSLeadByte(byte) != FALSE; }

  bool isProcessRunning(const std::string& imageName) override {
    // The snapshot holds every process of the session and beyond, so it sees
    // at least what taskkill could reach.
    const ScopedHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot.valid()) return true;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32First(snapshot.get(), &entry); more;
         more = ::Process32Next(snapshot.get(), &entry)) {
      // Without regard to case, as taskkill compares image names.
      if (::lstrcmpiA(entry.szExeFile, imageName.c_str()) == 0) return true;
    }
    return false;
  }

  CommandOutcome runHiddenCommand(const std::string& commandText) override {
    // Started from the system directory: the interpreter looks in the current
    // directory before the path, so a taskkill.exe or .bat planted in the
    // caller's directory would otherwise run instead of the system's.
    const std::string systemDir = systemDirectory();
    const std::string configured = configuredInterpreter();
    if (!configured.empty() && runThroughInterpreter(configured, commandText, systemDir)) {
      return CommandOutcome::kRan;
    }
    // As the runtime's system() does when %ComSpec% is unset or cannot start.
    if (runThroughInterpreter(systemDir + "\\cmd.exe", commandText, systemDir)) {
      return CommandOutcome::kRanByFallback;
    }
    return CommandOutcome::kInterpreterFailed;
  }

  ProcessHandle launchProcess(const ShellLaunchRequest& request) override {
    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = request.mask;
    info.lpVerb = request.verb.c_str();
    info.lpFile = request.file.c_str();
    info.lpParameters = request.parameters.c_str();
    info.nShow = request.showMode;
    if (!::ShellExecuteExA(&info)) {
      return nullptr;
    }
    return info.hProcess;
  }

  bool waitForProcessExit(ProcessHandle process, uint32_t timeoutMs) override {
    return ::WaitForSingleObject(static_cast<HANDLE>(process), timeoutMs) == WAIT_OBJECT_0;
  }

  bool interruptConsoleProcess(ProcessHandle process) override {
    const DWORD processId = ::GetProcessId(static_cast<HANDLE>(process));
    // A process attaches to one console at most. The launcher, a GUI program,
    // has none of its own, but may have been handed its starter's (Wine does
    // that); it lets go of it first. The event then goes to the processes on
    // the encoder's console alone.
    ::FreeConsole();
    if (processId == 0 || !::AttachConsole(processId)) return false;
    // Attached, the launcher would get the event too, and by default end on it.
    ::SetConsoleCtrlHandler(/*HandlerRoutine=*/nullptr, /*Add=*/TRUE);
    const BOOL sent = ::GenerateConsoleCtrlEvent(CTRL_C_EVENT, /*dwProcessGroupId=*/0);
    ::FreeConsole();
    return sent != FALSE;
  }

  void terminateProcess(ProcessHandle process, uint32_t exitCode) override {
    ::TerminateProcess(static_cast<HANDLE>(process), exitCode);
    // Ending is asynchronous: wait (boundedly) so that whoever comes next sees it ended.
    ::WaitForSingleObject(static_cast<HANDLE>(process), 5000);
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

  // The compositor's attribute call, loaded on first use and kept; null
  // where dwmapi.dll or the call is missing.
  DwmAttributeReader dwmAttributeReader() {
    if (!dwmLooked_) {
      dwmLooked_ = true;
      dwm_ = loadSystemLibrary("dwmapi.dll");
      dwmGetAttribute_ = lookUp<DwmAttributeReader>(dwm_, "DwmGetWindowAttribute");
    }
    return dwmGetAttribute_;
  }

  MSG last_{};
  bool dwmLooked_ = false;
  HMODULE dwm_ = nullptr;
  DwmAttributeReader dwmGetAttribute_ = nullptr;
  std::vector<HWINEVENTHOOK> hooks_;
  bool comReady_ = false;
};

}  // namespace

std::unique_ptr<Platform> makeWin32Platform() { return std::make_unique<Win32Platform>(); }

}  // namespace zeltra
