// The boundary between the launcher's logic and the operating system.
//
// Everything the launcher asks of Windows goes through this one interface,
// named for what the launcher needs, so the logic in launcher/ never sees
// <windows.h> and runs unchanged on a test double that plays a desktop. The
// Windows implementation owns the mechanics (the window class, the message
// loop, consoles, jobs, process trees); it hands the logic the events that
// matter and the facts it decides on. Each operation carries its contract:
// what it returns on failure and what the caller may rely on.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zeltra {

// An opaque window handle: the launcher passes it back, never looks inside.
using WindowHandle = void*;

// A wait without a limit, where the launcher waits for what it bounds itself.
inline constexpr uint32_t kWaitForever = 0xFFFFFFFFu;

// A rectangle in screen pixels; right and bottom lie just outside.
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

// A top-level window as a look for a title finds it.
struct FoundWindow {
  WindowHandle window = nullptr;
  bool visible = false;    // it and every window that owns it are shown
  bool minimized = false;  // standing as an icon, off its place
  bool cloaked = false;    // shown, yet kept off the screen by the compositor
};

// A window measured on its desktop.
struct WindowMeasure {
  Rect rect;  // its rectangle
  // Its frame as the compositor shows it, without the invisible resize
  // borders, in physical pixels; none where the compositor reports none.
  std::optional<Rect> visibleFrame;
  VirtualScreen screen;
  // Whether this thread works in physical pixels per monitor (Windows 10
  // 1607 and later, as the manifest asks); only then do rect and the screen
  // agree with visibleFrame.
  bool perMonitorDpiAware = false;
  // The display's scale, in percent of 96 dots per inch.
  int32_t scalePercent = 100;
};

// How a command handed to the command interpreter ended.
enum class CommandEnd {
  kReturned,            // through %ComSpec%
  kReturnedByFallback,  // %ComSpec% could not be started; cmd.exe in the system directory ran it
  kNotRun,              // no interpreter could be started
  kEndedAtBound,        // it had not returned within the bound; it and all it started are gone
  kStillRunningAtBound  // as kEndedAtBound, but something of it still ran after the wait for it
};

// A command's run: how it ended and, where it returned, its exit code and
// what it wrote to its standard output and its standard error, apart.
struct CommandRun {
  CommandEnd end = CommandEnd::kNotRun;
  uint32_t exitCode = 0;
  std::string output;
  std::string errors;
};

// What the launcher asks a console program through its console.
enum class ConsoleAsk {
  kStopKey,  // the key "q" typed into its console's input: no signal, only a key to read
  kCtrlC,    // the Ctrl+C event: a signal, which the program takes on a thread of its own
};

// What became of a request through a process's console, step by step.
struct ConsoleRequest {
  bool releasedHeldConsole = false;  // the launcher let go of a console it held first
  bool attached = false;             // it attached to the process's console
  uint32_t attachError = 0;          // GetLastError when it could not
  bool sent = false;                 // the key was written, or the event generated
  uint32_t sendError = 0;            // GetLastError when it was not
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

// How a process ended: its exit code and how long it ran.
struct ProcessExit {
  uint32_t exitCode = 0;
  uint64_t ranMs = 0;
};

// A process the launcher started or found, held until this object goes: the
// process it names cannot be taken for another that gets its id later.
class Process {
 public:
  virtual ~Process() = default;
  // Its id; 0 when it cannot be read.
  virtual uint32_t id() const = 0;
  // True once it has exited, false when timeoutMs passed first. Serves no messages.
  virtual bool waitForExit(uint32_t timeoutMs) = 0;
  // Asks it through its console, and no other console, without the launcher
  // taking the request itself. Not attached when its console could not be
  // reached (it has none, or has ended).
  virtual ConsoleRequest askThroughConsole(ConsoleAsk ask) = 0;
  // Ends it at once with that exit code and waits up to goneWaitMs for it to be gone.
  virtual Termination terminate(uint32_t exitCode, uint32_t goneWaitMs) = 0;
  // How it ended; its exit code is 259 (STILL_ACTIVE) while it runs.
  virtual ProcessExit readExit() = 0;
};

// A process found running by its image name. process is null where the
// launcher cannot wait on it: another session's (a service's, another
// user's), or one it may not open.
struct RunningProcess {
  uint32_t id = 0;
  std::unique_ptr<Process> process;
};

// What ended a wait for events.
enum class Event {
  kQuit,           // the quit was taken: the control window's run is over
  kProcessExited,  // the watched process has exited
  kWindowChanged,  // a top-level window appeared, was shown, renamed or restored
  kTimedOut,       // the wait's bound passed
  kFailed,         // waiting itself failed
};

// What a message of the control window gets: the launcher's own handling,
// or the default one (which destroys the window on its close request).
enum class MessageAnswer { kHandled, kDefault };
using ControlWindowProcedure = std::function<MessageAnswer(uint32_t message)>;

class Platform {
 public:
  virtual ~Platform() = default;

  // Registers the window class and creates the top-level window whose class
  // and title are both name, shown as showMode asks; its messages go to
  // procedure while the window exists, on this thread, from inside
  // waitForEvent. False when the window could not be created.
  virtual bool openControlWindow(const std::string& name, int32_t showMode,
                                 ControlWindowProcedure procedure) = 0;
  // Destroys the control window where it still exists (its procedure gets
  // WM_DESTROY before this returns) and ends the run of events: the next
  // wait, or the one under way, returns kQuit once the messages before are served.
  virtual void closeControlWindow() = 0;
  // Serves this thread's messages, those already waiting first, until the
  // quit is taken, watched (when given) has exited, a top-level window
  // changes anywhere on the desktop (when watchWindows), or timeoutMs has
  // passed (kWaitForever: no bound), whichever is first. A window change
  // counts once, from the return of the wait before. watched having exited
  // before the waiting messages are served is returned before they are.
  virtual Event waitForEvent(Process* watched, bool watchWindows, uint32_t timeoutMs) = 0;

  // Every top-level window with this exact title (compared without regard to
  // case, as Windows does), hidden ones included, topmost first.
  virtual std::vector<FoundWindow> findWindowsTitled(const std::string& title) = 0;
  // Nullopt when the window no longer exists.
  virtual std::optional<WindowMeasure> measureWindow(WindowHandle window) = 0;

  // The launcher's own executable path, wide, however long; empty when it
  // cannot be read.
  virtual std::wstring readOwnPath() = 0;
  // The text in the ANSI code page as the "A" calls give it: a character the
  // code page cannot hold becomes its best fit or "?".
  virtual std::string toAnsiCodePage(const std::wstring& text) = 0;
  // ANSI text widened character for character, as the "A" calls widen what
  // they pass on.
  virtual std::wstring fromAnsiCodePage(const std::string& text) = 0;

  // Every process with this image name ("ffmpeg.exe"), compared without
  // regard to case, running for any user; nullopt when that cannot be told.
  virtual std::optional<std::vector<RunningProcess>> findRunningProcesses(
      const std::string& imageName) = 0;
  // Runs a command line through the command interpreter (%ComSpec%, else
  // cmd.exe in the system directory), without a console window and from the
  // system directory, and returns once it has returned or, at boundMs, once
  // the interpreter and everything it started have been ended and, within
  // goneWaitMs more, are gone.
  virtual CommandRun runHiddenCommand(const std::string& commandText, uint32_t boundMs,
                                      uint32_t goneWaitMs) = 0;
  // Starts a program minimized and without activating it, through the shell,
  // with no error box and no download check, the parameters as given, in
  // the launcher's current directory; it hears Ctrl+C whatever the
  // launcher's starter chose. Null when it could not be started.
  virtual std::unique_ptr<Process> startMinimized(const std::wstring& file,
                                                  const std::wstring& parameters) = 0;

  // Sleeps; serves no messages.
  virtual void pause(uint32_t milliseconds) = 0;
  // Milliseconds on a clock that wraps to 0 every 2^32 ms (49.7 days): only
  // the difference of two readings, taken in unsigned arithmetic, means anything.
  virtual uint32_t readTickCount() = 0;
  // One line for whoever watches the debug output, and for the caller's
  // standard error where the caller handed the launcher one; never shown to
  // the user, never waited on.
  virtual void writeDiagnostic(const std::string& line) = 0;
};

}  // namespace zeltra
