// A small desktop for the launcher's logic to run on, as an in-memory file
// system is for a database: windows with titles, rectangles and states;
// encoders that finish on the stop command's close request, on Ctrl+C or on
// nothing, and count every signal they get as the real one does; a command
// interpreter that returns, fails or hangs; the ANSI code page converting as
// Windows does; and a clock that moves only while the launcher waits. Tests
// set it up, run the real logic on it, and look at what came of it.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "launcher/encoder_finish.h"
#include "launcher/windows_constants.h"
#include "platform/platform.h"

namespace zeltra::testing {

// How an encoder behaves: the one the launcher starts, or one running before it.
struct EncoderBehaviour {
  bool hasConsoleWindow = true;  // the stop command can send it its close request
  bool hearsClose = true;        // it finishes on that request
  bool readsStopKey = true;      // it finishes on its stop key, q, typed into its console
  bool hearsCtrlC = true;        // it finishes on Ctrl+C through its console
  uint32_t finishMs = 200;       // from the request it heeds to its exit
  std::optional<uint32_t> endsOnItsOwnAfterMs;  // it exits by itself (a path it cannot write)
  uint32_t exitCode = 0;
  int unreachableConsole = 0;   // requests through its console that cannot reach it first
  bool consoleRefuses = false;  // its console takes no key and no event (error 87)
  bool endable = true;          // TerminateProcess can end it
  bool otherSession = false;    // a service's or another user's: not to be waited on
};

enum class Interpreter { kReturns, kOnlyFallback, kNone, kHangs, kHangsAndOutlives };

class Desktop final : public Platform {
 public:
  struct Window {
    std::string title;
    Rect rect;
    std::optional<Rect> frame;  // the compositor's visible frame
    bool visible = true;
    bool minimized = false;
    bool cloaked = false;
    bool exists = true;
    bool closesWhenMeasured = false;  // it closes between being found and being measured
  };

  // An encoder's life on this desktop.
  struct Encoder {
    EncoderBehaviour behaviour;
    uint32_t id = 0;
    uint32_t startedAt = 0;
    std::optional<uint32_t> exitAt;
    int signals = 0;      // console events it got: the close request, Ctrl+C
    int lateSignals = 0;  // of them, those that came while it was finishing
    int keys = 0;         // stop keys typed into its console
    bool endedByForce = false;
    uint32_t exitCode = 0;
    // As the real encoder: a second signal while it writes its file's end
    // fails every further write; a file is finished only by its own exit.
    bool fileFinished() const {
      return exitAt && !endedByForce && lateSignals == 0 && (signals > 0 || keys > 0);
    }
  };

  struct Launch {
    std::wstring file;
    std::wstring parameters;
    uint32_t at = 0;
  };

  // --- the desktop, set up before the run or changed on the clock
  WindowHandle addWindow(const std::string& title, Rect rect);  // shown, above the others
  Window& window(WindowHandle handle);
  // A change of the desktop's windows at that moment (a window changing counts for the watch).
  void at(uint32_t ms, const std::function<void()>& change);
  void quietlyAt(uint32_t ms, std::function<void()> change);  // one the watch does not see
  void postAt(uint32_t ms, uint32_t message);                 // to the control window, from outside
  void quitAt(uint32_t ms);             // a quit posted to the launcher's thread
  std::optional<uint32_t> waitFailsAt;  // the wait for events fails from then on
  void runEarlierEncoder(EncoderBehaviour behaviour);
  void startClockAt(uint32_t ms) { clock_ = ms; }

  VirtualScreen screen{0, 0, 1280, 800};
  int32_t scalePercent = 100;
  std::wstring ownPath = L"C:\\Tools\\ZELTRA_ScreenTool.exe";
  // The ANSI code page: a part of 1252, or a part of 932 with one two-byte
  // character, U+30BD as 0x83 0x5C, whose second byte is the backslash's.
  bool codePage932 = false;
  static constexpr wchar_t kDoubleByteCharacter = L'\x30BD';
  bool controlWindowFails = false;
  bool launchFails = false;
  EncoderBehaviour encoder;  // the one the launcher starts
  Interpreter interpreter = Interpreter::kReturns;
  uint32_t commandMs = 300;             // how long the stop command takes
  bool taskkillClaimsEveryone = false;  // as Wine's: "sent" even where no window heard it

  // --- what came of the run
  std::vector<std::string> said;  // the diagnostic lines, without prefix and line end
  std::vector<Launch> launches;
  std::vector<uint32_t> stopCommandsAt;
  std::optional<int32_t> shownWith;  // the control window's show mode, once opened
  bool controlWindowOpen = false;
  std::deque<Encoder> encoders;  // every encoder, earlier ones first
  Encoder& launched();           // the one the launcher started; fails the test if none
  int running() const;           // encoders still running
  uint32_t now() const { return clock_; }
  // How many lines were exactly this one, or began so.
  int count(const std::string& line) const;
  int saidStartingWith(const std::string& start) const;
  // The finish key of the last line that carries one.
  std::optional<FinishKey> finish() const;

  // --- Platform
  bool openControlWindow(const std::string& name, int32_t showMode,
                         ControlWindowProcedure procedure) override;
  void closeControlWindow() override;
  Event waitForEvent(Process* watched, bool watchWindows, uint32_t timeoutMs) override;
  std::vector<FoundWindow> findWindowsTitled(const std::string& title) override;
  std::optional<WindowMeasure> measureWindow(WindowHandle window) override;
  std::wstring readOwnPath() override { return ownPath; }
  std::string toAnsiCodePage(const std::wstring& text) override;
  std::wstring fromAnsiCodePage(const std::string& text) override;
  std::optional<std::vector<RunningProcess>> findRunningProcesses(
      const std::string& imageName) override;
  CommandRun runHiddenCommand(const std::string& commandText, uint32_t boundMs,
                              uint32_t goneWaitMs) override;
  std::unique_ptr<Process> startMinimized(const std::wstring& file,
                                          const std::wstring& parameters) override;
  void pause(uint32_t milliseconds) override { advanceTo(clock_ + milliseconds); }
  uint32_t readTickCount() override { return clock_; }
  void writeDiagnostic(const std::string& line) override;

 private:
  class EncoderProcess;
  friend class EncoderProcess;

  struct Scheduled {
    uint32_t at;
    std::function<void()> happen;
  };

  // Times read as offsets from the clock, so the wrap counts.
  bool exited(const Encoder& e) const {
    return e.exitAt && static_cast<int32_t>(*e.exitAt - clock_) <= 0;
  }
  void signal(Encoder& e, bool heeds);
  // Moves the clock on, applying what happens on the way; messages that
  // arrive wait in the queue.
  void advanceTo(uint32_t ms);
  void applyDue();
  std::optional<uint32_t> nextScheduled() const;
  void deliver(uint32_t message);
  void destroyControlWindow();

  uint32_t clock_ = 0;
  uint32_t nextId_ = 4000;
  std::deque<Window> windows_;  // bottom first
  std::vector<Scheduled> scheduled_;
  std::deque<uint32_t> queue_;
  bool quitPending_ = false;
  bool windowChanged_ = false;
  bool watching_ = false;
  ControlWindowProcedure procedure_;
  std::optional<size_t> launchedIndex_;
};

// The window most tests record, and how they name it and its output.
inline constexpr Rect kDemoRect{100, 80, 503, 381};
inline constexpr char kDemo[] = "Demo#C:\\rec\\#clip.avi";

// Records the demo window shown on the desktop and stops it at stopAt, the
// launcher returning 0; the clock from the stop message to that return.
uint32_t recordAndStop(Desktop& desktop, uint32_t stopAt, const char* invocation = kDemo,
                       int32_t showMode = kSwShowDefault);

}  // namespace zeltra::testing
