// The boundary between the launcher's logic and the operating system.
//
// Everything the launcher asks of Windows goes through this one interface, so
// the logic in launcher/ never sees <windows.h> and runs unchanged on a test
// double. Operations are named for what the launcher needs; each carries its
// contract: what it returns on failure and what the caller may rely on.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zeltra {

// Opaque handles: the launcher passes them back to the platform, never looks inside.
using WindowHandle = void*;
using InstanceHandle = void*;
using ProcessHandle = void*;

// A wait without a limit, where the launcher waits for what it itself bounds.
inline constexpr uint32_t kWaitForever = 0xFFFFFFFFu;

// A window rectangle in screen pixels; right and bottom lie just outside.
struct Rect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
};

// The rectangle spanning all monitors; its origin is negative where a monitor
// lies left of or above the primary one.
struct VirtualScreen {
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
};

// What decides whether a window is there to be seen.
struct WindowState {
  bool visible = false;    // it and every window that owns it are shown
  bool minimized = false;  // standing as an icon, off its place
  bool cloaked = false;    // shown, yet kept off the screen by the compositor
};

struct Message {
  WindowHandle window = nullptr;
  uint32_t message = 0;
  uintptr_t wParam = 0;
  intptr_t lParam = 0;
};

using WindowProcedure = intptr_t (*)(WindowHandle window, uint32_t message, uintptr_t wParam,
                                     intptr_t lParam);

// The arguments of a top-level window's creation, as Windows takes them.
struct WindowRequest {
  uint32_t extendedStyle = 0;
  std::string className;
  std::string title;
  uint32_t style = 0;
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
  WindowHandle parent = nullptr;
  void* menu = nullptr;
  InstanceHandle instance = nullptr;
  void* creationData = nullptr;
};

// How a process ended: its exit code and how long it ran.
struct ProcessExit {
  uint32_t exitCode = 0;
  uint64_t ranMs = 0;
};

// What became of a Ctrl+C sent to a process's console, step by step.
struct ConsoleInterrupt {
  bool releasedHeldConsole = false;  // the launcher let go of a console it held first
  bool attached = false;             // it attached to the process's console
  uint32_t attachError = 0;          // GetLastError when it could not
  bool sent = false;                 // the event was generated on that console
  uint32_t sendError = 0;            // GetLastError when it was not
};

// What woke a wait for messages or a process's exit.
enum class Wake { kMessage, kProcessExited, kTimedOut, kFailed };

// What the command interpreter's run gave back: its exit code and what it
// wrote to its standard output and its standard error, apart.
struct CommandReport {
  uint32_t exitCode = 0;
  std::string output;
  std::string errors;
};

// A running process as the launcher noted it: the handle to wait on, null
// where it cannot be waited on (another session's, or one the launcher may
// not open), and its id and creation time (ms since 1601, 0 when unknown).
struct RunningProcess {
  ProcessHandle handle = nullptr;
  uint32_t id = 0;
  uint64_t createdAt = 0;
};

// What became of an attempt to end a process.
struct Termination {
  enum class Result {
    kEnded,      // ended, and gone
    kHadExited,  // it had exited on its own just before
    kNotEnded,   // Windows refused, or it was still there after the wait: see error
  };
  Result result = Result::kNotEnded;
  uint32_t error = 0;  // GetLastError of the refusal, or WAIT_TIMEOUT (258)
};

// How a command reached the command interpreter.
enum class CommandOutcome {
  kRan,                 // through %ComSpec%
  kRanByFallback,       // %ComSpec% could not be started; cmd.exe in the system directory ran it
  kInterpreterFailed,   // no interpreter could be started; the command did not run
  kEndedAtBound,        // it had not returned within the bound; it and all it started are gone
  kStillRunningAtBound  // as kEndedAtBound, but something of it still ran after being ended
};

// The fields of a shell launch record that the launcher sets; all others are
// zero. Wide texts (UTF-16 on Windows), so the file may lie in any folder.
struct ShellLaunchRequest {
  uint32_t mask = 0;
  std::wstring verb;
  std::wstring file;
  std::wstring parameters;
  int32_t showMode = 0;
};

class Platform {
 public:
  virtual ~Platform() = default;

  // Registers a window class with every field zero but these three.
  // Returns false on failure; the launcher does not look.
  virtual bool registerWindowClass(const std::string& className, WindowProcedure procedure,
                                   InstanceHandle instance) = 0;
  // Returns the new window, or null when it could not be created.
  virtual WindowHandle createWindow(const WindowRequest& request) = 0;
  virtual void showWindow(WindowHandle window, int32_t showMode) = 0;
  // Destroys the window; its procedure gets WM_DESTROY before this returns.
  virtual void destroyWindow(WindowHandle window) = 0;
  // The default handling of a message; its result is to be returned unchanged.
  virtual intptr_t defaultWindowProcedure(WindowHandle window, uint32_t message, uintptr_t wParam,
                                          intptr_t lParam) = 0;

  // Blocks until a message for this thread is waiting or, when process is not
  // null, that process has exited, whichever is first, or until timeoutMs
  // (kWaitForever: no limit) have passed; kFailed when the wait itself
  // fails. Messages already waiting wake it at once.
  virtual Wake waitForMessageOrProcessExit(ProcessHandle process, uint32_t timeoutMs) = 0;
  // Takes the next message without blocking; false when none is waiting.
  // Messages sent from other threads are served on the way.
  virtual bool takePendingMessage(Message& message) = 0;
  virtual void translateMessage(const Message& message) = 0;
  // Hands the message to its window's procedure and returns what it returned.
  virtual intptr_t dispatchMessage(const Message& message) = 0;
  virtual void postQuit(int32_t exitCode) = 0;

  // While watching, a top-level window appearing, showing, being renamed or
  // restored from minimized anywhere on the desktop wakes
  // waitForMessageOrWindowChange.
  virtual void startWindowWatch() = 0;
  virtual void stopWindowWatch() = 0;
  // Returns when input or a message arrives for this thread, a watched window
  // change happens, or timeoutMs passes, whichever is first.
  virtual void waitForMessageOrWindowChange(uint32_t timeoutMs) = 0;

  // The next top-level window in z-order, hidden ones included, below after
  // (from the top when after is null) with this exact title (compared without
  // regard to case, as Windows does), or null when there is none further.
  virtual WindowHandle findTopLevelWindow(const std::string& title, WindowHandle after) = 0;
  // A window that no longer exists reads as not visible; cloaked reads false
  // where the compositor cannot tell.
  virtual WindowState readWindowState(WindowHandle window) = 0;
  // False when the window no longer exists; the rectangle is then untouched.
  virtual bool readWindowRect(WindowHandle window, Rect& rect) = 0;
  // Whether this thread works in physical pixels per monitor; false where
  // Windows cannot tell (before Windows 10 1607).
  virtual bool isPerMonitorDpiAware() = 0;
  // The window's frame as the compositor shows it, without the invisible
  // resize borders, in physical pixels. False, the rectangle untouched, where
  // the compositor does not report it or the window no longer exists.
  virtual bool readVisibleFrame(WindowHandle window, Rect& rect) = 0;
  virtual VirtualScreen readVirtualScreen() = 0;

  // Copies the launcher's own executable path, wide, into buffer, cut short
  // and returning capacity when it does not fit; returns 0 on failure.
  virtual uint32_t readModuleFileName(wchar_t* buffer, uint32_t capacity) = 0;
  // The text in the ANSI code page as the "A" calls give it: a character the
  // code page cannot hold becomes its best fit or "?".
  virtual std::string toAnsiCodePage(const std::wstring& text) = 0;
  // ANSI text widened character for character, as the "A" calls widen what
  // they pass on.
  virtual std::wstring fromAnsiCodePage(const std::string& text) = 0;
  // Whether this byte starts a two-byte character in the process's ANSI code page.
  virtual bool isLeadByte(uint8_t byte) = 0;

  // Every process with this image name ("ffmpeg.exe"), compared without
  // regard to case, running for any user; each handle is to be released.
  // Nullopt when that cannot be told.
  virtual std::optional<std::vector<RunningProcess>> findRunningProcesses(
      const std::string& imageName) = 0;
  // Runs a command line through the command interpreter (%ComSpec%, else
  // cmd.exe in the system directory), without a console window and from the
  // system directory, and returns once it has finished or, at boundMs, once
  // the interpreter and everything it started have been ended (waiting a
  // bounded time for them to be gone). What the command said is in report
  // when it returned (kRan, kRanByFallback); else report is left alone.
  virtual CommandOutcome runHiddenCommand(const std::string& commandText, uint32_t boundMs,
                                          CommandReport& report) = 0;
  // Lets programs launched from here on hear Ctrl+C, whatever the launcher's
  // starter chose: a process started in a new process group, or by one that
  // ignores Ctrl+C, ignores it too, and passes that on to what it launches.
  virtual void stopIgnoringCtrlC() = 0;
  // Starts a program through the shell. Returns the new process, or null when
  // the launch failed or the shell gave no process.
  virtual ProcessHandle launchProcess(const ShellLaunchRequest& request) = 0;
  // True once the process has exited, false when timeoutMs passed first.
  virtual bool waitForProcessExit(ProcessHandle process, uint32_t timeoutMs) = 0;
  // Sends Ctrl+C to the console of that process and to no other console,
  // without the launcher taking it itself. Says what each step did: not
  // attached when its console could not be reached (the process has none,
  // or has ended).
  virtual ConsoleInterrupt interruptConsoleProcess(ProcessHandle process) = 0;
  // Ends that process at once, with that exit code, and waits (bounded)
  // until it is gone.
  virtual Termination terminateProcess(ProcessHandle process, uint32_t exitCode) = 0;
  // The process's id; 0 when it cannot be read.
  virtual uint32_t readProcessId(ProcessHandle process) = 0;
  // The exit of a process that has ended.
  virtual ProcessExit readProcessExit(ProcessHandle process) = 0;
  virtual void releaseProcess(ProcessHandle process) = 0;
  virtual void pause(uint32_t milliseconds) = 0;
  // Milliseconds on a clock that wraps to 0 every 2^32 ms (49.7 days): only
  // the difference of two readings, taken in unsigned arithmetic, means anything.
  virtual uint32_t readTickCount() = 0;

  // One line for whoever watches the debug output; never shown to the user.
  virtual void writeDiagnostic(const std::string& line) = 0;
};

// The Windows implementation; defined only in Windows builds.
std::unique_ptr<Platform> makeWin32Platform();

}  // namespace zeltra
