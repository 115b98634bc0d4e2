// A scripted stand-in for Windows: plays back the results a test sets and
// records every call the launcher makes, in order, so tests run the real
// logic and check what it asked of the platform.
#pragma once

#include <algorithm>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "launcher/encoder_stop.h"
#include "launcher/launcher_entry.h"
#include "platform/platform.h"

namespace zeltra::testing {

class FakePlatform : public Platform {
 public:
  // --- script -----------------------------------------------------------
  bool windowCreationFails = false;
  inline static const WindowHandle kTargetWindow = reinterpret_cast<WindowHandle>(0x3001);
  // Answers of successive window lookups; once used up, every lookup finds
  // lookupDefault: the target window, unless a test says it never appears.
  std::deque<WindowHandle> lookupResults;
  WindowHandle lookupDefault = kTargetWindow;
  // The window with the same title below a window in z-order; none unless set.
  std::map<WindowHandle, WindowHandle> nextWithTitle;
  // Successive states of a window, the last one kept once reached; a window
  // not named here is shown.
  std::map<WindowHandle, std::deque<WindowState>> windowStates;
  // Whether the thread works in physical pixels per monitor, and the
  // compositor's frame of the target; nullopt: the compositor reports none.
  bool perMonitorDpiAware = true;
  std::optional<Rect> visibleFrame;
  // Answers of successive rectangle reads; nullopt means the window is gone.
  // Once used up, every read gives windowRect.
  std::deque<std::optional<Rect>> rectResults;
  Rect windowRect{0, 0, 640, 480};
  VirtualScreen virtualScreen{0, 0, 1280, 800};
  std::wstring modulePath = L"C:\\Tools\\ZELTRA_ScreenTool.exe";
  // The ANSI code page played: Latin-1 for 1252 (any other character
  // becomes "?"), or, when set, 932 with one two-byte character, U+30BD as
  // 0x83 0x5C, whose second byte is the backslash's.
  bool doubleByteCodePage = false;
  static constexpr wchar_t kDoubleByteCharacter = L'\x30BD';
  bool launchFails = false;
  // What makes the launcher's encoder finish once it runs.
  enum class EncoderEnd { kOnStopCommand, kOnCtrlC, kNever, kOnItsOwn };
  EncoderEnd encoderEnd = EncoderEnd::kOnStopCommand;
  ProcessExit encoderExit{0, 0};  // what reading its exit gives
  CommandOutcome commandOutcome = CommandOutcome::kRan;
  CommandReport commandReport;  // what a command that returned said
  // The ffmpeg.exe processes running before the launch; by default one that
  // goes at once on the stop command. A look that cannot tell finds nullopt.
  struct EarlierEncoder {
    uint32_t id = 4000;
    bool waitable = true;     // the launcher could open it to wait on
    bool goesOnClose = true;  // it exits once a stop command returned
    uint32_t takesMs = 0;     // how long after that it takes
  };
  std::optional<std::vector<EarlierEncoder>> earlierEncoders = std::vector<EarlierEncoder>{{}};
  uint32_t encoderId = 4242;
  int interruptsUnreached = 0;  // how many Ctrl+C attempts fail to attach first
  Termination::Result terminationResult = Termination::Result::kEnded;
  bool consoleReachable = true;  // whether a Ctrl+C reaches the encoder's console
  // The clock: it moves only with the script. A wait for the encoder's exit
  // takes its whole timeout, or encoderExitTakesMs when the encoder exits in
  // it; the command interpreter takes stopCommandTakesMs.
  uint32_t clockMs = 0;
  uint32_t encoderExitTakesMs = 0;
  uint32_t stopCommandTakesMs = 0;

  // Makes message arrive in the queue right after the occurrence-th call of
  // the named operation (1 for the first), as if sent from outside. A name
  // that is no operation of the double throws, rather than delivering nothing.
  void deliverAfter(const std::string& operation, Message message, int occurrence = 1);

  // --- record -----------------------------------------------------------
  std::vector<std::string> calls;  // "operation detail", in order
  std::vector<std::string> diagnostics;
  std::vector<ShellLaunchRequest> launches;
  std::vector<uint32_t> commandBounds;  // the bound of each command run
  std::vector<WindowRequest> windowRequests;
  std::vector<Message> dispatched;
  WindowProcedure registeredProcedure = nullptr;
  std::string registeredClassName;
  int watchesOpen = 0;

  int count(const std::string& operation) const;
  // Index of the first (or last) call of the operation in calls, or -1.
  int indexOf(const std::string& operation) const;
  int lastIndexOf(const std::string& operation) const;
  // The first call of the operation with its detail, or a text saying there
  // was none, which no expectation matches.
  std::string firstCall(const std::string& operation) const;
  // How often the launcher wrote this diagnostic line (given without its
  // prefix and line end).
  int said(const std::string& text) const {
    return static_cast<int>(
        std::count(diagnostics.begin(), diagnostics.end(), "ZELTRA_ScreenTool: " + text + "\n"));
  }

  inline static const WindowHandle kControlWindow = reinterpret_cast<WindowHandle>(0x1001);
  inline static const ProcessHandle kEncoderProcess = reinterpret_cast<ProcessHandle>(0x2001);

  // --- Platform ---------------------------------------------------------
  bool registerWindowClass(const std::string& className, WindowProcedure procedure,
                           InstanceHandle instance) override;
  WindowHandle createWindow(const WindowRequest& request) override {
    record("createWindow", request.title);
    windowRequests.push_back(request);
    return windowCreationFails ? nullptr : kControlWindow;
  }
  void showWindow(WindowHandle, int32_t showMode) override {
    record("showWindow", std::to_string(showMode));
  }
  void destroyWindow(WindowHandle window) override {
    record("destroyWindow");
    if (registeredProcedure != nullptr) {
      registeredProcedure(window, kWmDestroy, 0, 0);
    }
  }
  intptr_t defaultWindowProcedure(WindowHandle window, uint32_t message, uintptr_t wParam,
                                  intptr_t lParam) override;
  Wake waitForMessageOrProcessExit(ProcessHandle process, uint32_t timeoutMs) override;
  bool takePendingMessage(Message& message) override {
    record("takePendingMessage");
    return takeNext(message);
  }
  void translateMessage(const Message&) override { record("translateMessage"); }
  intptr_t dispatchMessage(const Message& message) override;
  void postQuit(int32_t exitCode) override {
    record("postQuit", std::to_string(exitCode));
    quitPosted_ = exitCode;
  }
  void startWindowWatch() override {
    record("startWindowWatch");
    ++watchesOpen;
  }
  void stopWindowWatch() override {
    record("stopWindowWatch");
    --watchesOpen;
  }
  void waitForMessageOrWindowChange(uint32_t timeoutMs) override {
    record("waitForMessageOrWindowChange", std::to_string(timeoutMs));
  }
  WindowHandle findTopLevelWindow(const std::string& title, WindowHandle after) override;
  WindowState readWindowState(WindowHandle window) override;
  bool readWindowRect(WindowHandle window, Rect& rect) override;
  bool isPerMonitorDpiAware() override {
    record("isPerMonitorDpiAware");
    return perMonitorDpiAware;
  }
  bool readVisibleFrame(WindowHandle, Rect& rect) override {
    record("readVisibleFrame");
    if (visibleFrame) rect = *visibleFrame;
    return visibleFrame.has_value();
  }
  VirtualScreen readVirtualScreen() override {
    record("readVirtualScreen");
    return virtualScreen;
  }
  uint32_t readModuleFileName(wchar_t* buffer, uint32_t capacity) override;
  std::string toAnsiCodePage(const std::wstring& text) override;
  std::wstring fromAnsiCodePage(const std::string& text) override;
  bool isLeadByte(uint8_t byte) override {
    return doubleByteCodePage && ((byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC));
  }
  std::optional<std::vector<RunningProcess>> findRunningProcesses(
      const std::string& imageName) override {
    record("findRunningProcesses", imageName);
    if (!earlierEncoders) return std::nullopt;
    std::vector<RunningProcess> found;
    for (const EarlierEncoder& e : *earlierEncoders) {
      found.push_back({e.waitable ? earlierHandle(e.id) : nullptr, e.id, 1});
    }
    return found;
  }
  CommandOutcome runHiddenCommand(const std::string& commandText, uint32_t boundMs,
                                  CommandReport& report) override {
    record("runHiddenCommand", commandText);
    commandBounds.push_back(boundMs);
    clockMs += stopCommandTakesMs;
    // Only a command that ran to its end has reached the encoders.
    if (commandOutcome == CommandOutcome::kRan ||
        commandOutcome == CommandOutcome::kRanByFallback) {
      ++commandsReturned_;
      report = commandReport;
    }
    return commandOutcome;
  }
  void stopIgnoringCtrlC() override { record("stopIgnoringCtrlC"); }
  ProcessHandle launchProcess(const ShellLaunchRequest& request) override {
    launches.push_back(request);
    record("launchProcess", toAnsiCodePage(request.file));
    return launchFails ? nullptr : kEncoderProcess;
  }
  bool waitForProcessExit(ProcessHandle process, uint32_t timeoutMs) override;
  ConsoleInterrupt interruptConsoleProcess(ProcessHandle) override {
    record("interruptConsoleProcess");
    ConsoleInterrupt interrupt;
    const bool reached = consoleReachable && interruptsUnreached-- <= 0;
    interrupt.attached = reached;
    interrupt.attachError = reached ? 0 : 6;
    interrupt.sent = reached;
    if (reached) ++interruptsReached_;
    return interrupt;
  }
  Termination terminateProcess(ProcessHandle, uint32_t exitCode) override {
    record("terminateProcess", std::to_string(exitCode));
    return Termination{terminationResult,
                       terminationResult == Termination::Result::kNotEnded ? 5u : 0u};
  }
  uint32_t readProcessId(ProcessHandle) override { return encoderId; }
  ProcessExit readProcessExit(ProcessHandle) override {
    record("readProcessExit");
    return encoderExit;
  }
  void releaseProcess(ProcessHandle process) override {
    if (process == kEncoderProcess) record("releaseProcess");
    if (process != nullptr && process != kEncoderProcess) ++earlierReleased;
  }
  int earlierReleased = 0;  // handles of earlier encoders given back
  void pause(uint32_t milliseconds) override {
    record("pause", std::to_string(milliseconds));
    clockMs += milliseconds;
  }
  uint32_t readTickCount() override {
    record("readTickCount");
    return clockMs;
  }
  void writeDiagnostic(const std::string& line) override {
    diagnostics.push_back(line);
    record("writeDiagnostic");
  }

 private:
  void record(const std::string& operation, const std::string& detail = "");
  bool takeNext(Message& message);
  // Whether the encoder has had what makes it finish.
  bool encoderExits() const;

  std::deque<Message> queue_;
  std::optional<int32_t> quitPosted_;
  std::map<std::pair<std::string, int>, std::vector<Message>> arrivals_;
  std::map<std::string, int> counts_;
  bool encoderEnded_ = false;
  int commandsReturned_ = 0;
  int interruptsReached_ = 0;
  static ProcessHandle earlierHandle(uint32_t id) {
    return reinterpret_cast<ProcessHandle>(static_cast<uintptr_t>(0x5000 + id));
  }
  int lookups_ = 0;
};

inline Message stopMessage(uintptr_t wParam = 0, intptr_t lParam = 0) {
  return Message{FakePlatform::kControlWindow, kStopMessage, wParam, lParam};
}

}  // namespace zeltra::testing
