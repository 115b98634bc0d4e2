// The boundary between the launcher's logic and the operating system.
//
// Everything the launcher asks of Windows goes through this one interface, so
// the logic in launcher/ never sees <windows.h> and runs unchanged on a test
// double. Operations are named for what the launcher needs; each carries its
// contract: what it returns on failure and what the caller may rely on.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace zeltra {

// Opaque handles: the launcher passes them back to the platform, never looks inside.
using WindowHandle = void*;
using InstanceHandle = void*;
using ProcessHandle = void*;

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

// The fields of a shell launch record that the launcher sets; all others are zero.
struct ShellLaunchRequest {
  uint32_t mask = 0;
  std::string verb;
  std::string file;
  std::string parameters;
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
  // The default handling of a message; its result is to be returned unchanged.
  virtual intptr_t defaultWindowProcedure(WindowHandle window, uint32_t message, uintptr_t wParam,
                                          intptr_t lParam) = 0;

  // Blocks until a message for this thread arrives, serving messages sent from
  // other threads meanwhile. Returns > 0 for a message, 0 for the quit message
  // (filled in too), -1 on error.
  virtual int32_t fetchMessage(Message& message) = 0;
  // Takes the next message without blocking; false when none is waiting.
  // Messages sent from other threads are served on the way.
  virtual bool takePendingMessage(Message& message) = 0;
  virtual void translateMessage(const Message& message) = 0;
  // Hands the message to its window's procedure and returns what it returned.
  virtual intptr_t dispatchMessage(const Message& message) = 0;
  virtual void postQuit(int32_t exitCode) = 0;

  // While watching, a top-level window appearing, showing or being renamed
  // anywhere on the desktop wakes waitForMessageOrWindowChange.
  virtual void startWindowWatch() = 0;
  virtual void stopWindowWatch() = 0;
  // Returns when input or a message arrives for this thread, a watched window
  // change happens, or timeoutMs passes, whichever is first.
  virtual void waitForMessageOrWindowChange(uint32_t timeoutMs) = 0;

  // A top-level window with this exact title (compared without regard to
  // case, as Windows does), or null when there is none.
  virtual WindowHandle findTopLevelWindow(const std::string& title) = 0;
  // False when the window no longer exists; the rectangle is then untouched.
  virtual bool readWindowRect(WindowHandle window, Rect& rect) = 0;
  virtual VirtualScreen readVirtualScreen() = 0;

  // Copies the launcher's own executable path into buffer, cut short and
  // returning capacity when it does not fit; returns 0 on failure.
  virtual uint32_t readModuleFileName(char* buffer, uint32_t capacity) = 0;
  // Whether this byte starts a two-byte character in the process's ANSI code page.
  virtual bool isLeadByte(uint8_t byte) = 0;

  // Runs a command line through the command interpreter, without a console
  // window and from the system directory, and returns once it has finished.
  // Failures are not reported.
  virtual void runHiddenCommand(const std::string& commandText) = 0;
  // Starts a program through the shell. Returns the new process, or null when
  // the launch failed or the shell gave no process.
  virtual ProcessHandle launchProcess(const ShellLaunchRequest& request) = 0;
  // True once the process has exited, false when timeoutMs passed first.
  virtual bool waitForProcessExit(ProcessHandle process, uint32_t timeoutMs) = 0;
  virtual void releaseProcess(ProcessHandle process) = 0;
  virtual void pause(uint32_t milliseconds) = 0;

  // One line for whoever watches the debug output; never shown to the user.
  virtual void writeDiagnostic(const std::string& line) = 0;
};

// The Windows implementation; defined only in Windows builds.
std::unique_ptr<Platform> makeWin32Platform();

}  // namespace zeltra
