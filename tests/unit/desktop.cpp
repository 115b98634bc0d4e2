#include "tests/unit/desktop.h"

#include <algorithm>
#include <stdexcept>

#include <gtest/gtest.h>

#include "launcher/launcher_entry.h"
#include "launcher/windows_constants.h"

namespace zeltra::testing {
namespace {

constexpr uint32_t kStillActive = 259;
constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorInvalidHandle = 6;

// Code page 1252 played by its Latin-1 part and the euro sign at 0x80,
// enough to tell a text it holds from one it does not.
constexpr wchar_t kEuro = 0x20AC;

// A window's handle is its place in the list, counted from one: never a
// pointer, only compared and handed back.
WindowHandle handleOf(size_t place) {
  return reinterpret_cast<WindowHandle>(place);  // NOLINT(performance-no-int-to-ptr)
}

}  // namespace

// The launcher's handle on one of the desktop's encoders.
class Desktop::EncoderProcess final : public Process {
 public:
  EncoderProcess(Desktop& desktop, size_t index) : desktop_(desktop), index_(index) {}
  Encoder& life() const { return desktop_.encoders[index_]; }

  uint32_t id() const override { return life().id; }

  bool waitForExit(uint32_t timeoutMs) override {
    const Encoder& e = life();
    if (desktop_.exited(e)) return true;
    if (e.exitAt && *e.exitAt - desktop_.clock_ <= timeoutMs) {
      desktop_.advanceTo(*e.exitAt);
      return true;
    }
    desktop_.advanceTo(desktop_.clock_ + timeoutMs);
    return false;
  }

  ConsoleRequest askThroughConsole(ConsoleAsk ask) override {
    Encoder& e = life();
    ConsoleRequest request;
    if (desktop_.exited(e) || e.behaviour.unreachableConsole > 0) {
      --e.behaviour.unreachableConsole;
      request.attachError = kErrorInvalidHandle;
      return request;
    }
    request.attached = true;
    if (e.behaviour.consoleRefuses) {
      request.sendError = 87;
      return request;
    }
    request.sent = true;
    if (ask == ConsoleAsk::kCtrlC) {
      desktop_.signal(e, e.behaviour.hearsCtrlC);
      return request;
    }
    ++e.keys;  // a key, read only while it records: no signal
    if (e.behaviour.readsStopKey && !e.exitAt) e.exitAt = desktop_.clock_ + e.behaviour.finishMs;
    return request;
  }

  Termination terminate(uint32_t exitCode, uint32_t goneWaitMs) override {
    Encoder& e = life();
    if (desktop_.exited(e)) return {Termination::Result::kHadExited, kErrorAccessDenied};
    if (!e.behaviour.endable) {
      // Ended, yet not gone: the whole wait for it passes.
      desktop_.advanceTo(desktop_.clock_ + goneWaitMs);
      return {Termination::Result::kNotEnded, kErrorAccessDenied};
    }
    e.exitAt = desktop_.clock_;
    e.exitCode = exitCode;
    e.endedByForce = true;
    return {Termination::Result::kEnded, 0};
  }

  ProcessExit readExit() override {
    const Encoder& e = life();
    if (!desktop_.exited(e)) return {kStillActive, 0};
    return {e.exitCode, *e.exitAt - e.startedAt};
  }

 private:
  Desktop& desktop_;
  size_t index_;
};

WindowHandle Desktop::addWindow(const std::string& title, Rect rect) {
  Window& window = windows_.emplace_back();
  window.title = title;
  window.rect = rect;
  windowChanged_ = true;
  return handleOf(windows_.size());
}

Desktop::Window& Desktop::window(WindowHandle handle) {
  const auto index = reinterpret_cast<uintptr_t>(handle);
  if (index == 0 || index > windows_.size()) throw std::out_of_range("no such window");
  return windows_[index - 1];
}

void Desktop::at(uint32_t ms, const std::function<void()>& change) {
  scheduled_.push_back({ms, [this, change] {
                          change();
                          windowChanged_ = true;
                        }});
}
void Desktop::quietlyAt(uint32_t ms, std::function<void()> change) {
  scheduled_.push_back({ms, std::move(change)});
}
void Desktop::postAt(uint32_t ms, uint32_t message) {
  scheduled_.push_back({ms, [this, message] { queue_.push_back(message); }});
}
void Desktop::quitAt(uint32_t ms) {
  scheduled_.push_back({ms, [this] { quitPending_ = true; }});
}

void Desktop::runEarlierEncoder(EncoderBehaviour behaviour) {
  Encoder& e = encoders.emplace_back();
  e.behaviour = behaviour;
  e.id = nextId_++;
  e.startedAt = clock_;
}

Desktop::Encoder& Desktop::launched() {
  if (!launchedIndex_) throw std::logic_error("the launcher started no encoder");
  return encoders[*launchedIndex_];
}

int Desktop::running() const {
  return static_cast<int>(std::count_if(encoders.begin(), encoders.end(),
                                        [this](const Encoder& e) { return !exited(e); }));
}

int Desktop::count(const std::string& line) const {
  return static_cast<int>(std::count(said.begin(), said.end(), line));
}

int Desktop::saidStartingWith(const std::string& start) const {
  return static_cast<int>(std::count_if(said.begin(), said.end(), [&](const std::string& line) {
    return line.compare(0, start.size(), start) == 0;
  }));
}

std::optional<FinishKey> Desktop::finish() const {
  for (auto line = said.rbegin(); line != said.rend(); ++line) {
    if (const std::optional<FinishKey> key = readFinishKey(*line)) return key;
  }
  return std::nullopt;
}

void Desktop::signal(Encoder& e, bool heeds) {
  ++e.signals;
  if (e.exitAt) {
    ++e.lateSignals;
  } else if (heeds) {
    e.exitAt = clock_ + e.behaviour.finishMs;
  }
}

std::optional<uint32_t> Desktop::nextScheduled() const {
  std::optional<uint32_t> next;
  for (const Scheduled& s : scheduled_) {
    if (!next || s.at - clock_ < *next - clock_) next = s.at;
  }
  return next;
}

void Desktop::applyDue() {
  // Due: at or before the clock (times read as offsets, so the wrap counts),
  // in the order they were set up.
  for (size_t i = 0; i < scheduled_.size();) {
    if (static_cast<int32_t>(scheduled_[i].at - clock_) > 0) {
      ++i;
      continue;
    }
    const Scheduled due = scheduled_[i];
    scheduled_.erase(scheduled_.begin() + static_cast<std::ptrdiff_t>(i));
    due.happen();
    i = 0;
  }
}

void Desktop::advanceTo(uint32_t ms) {
  // Through each scheduled moment on the way, so changes happen in order.
  for (;;) {
    const std::optional<uint32_t> next = nextScheduled();
    if (!next || *next - clock_ > ms - clock_) break;
    clock_ = *next;
    applyDue();
  }
  clock_ = ms;
  applyDue();
}

void Desktop::deliver(uint32_t message) {
  if (!controlWindowOpen) return;  // a message to a window that is gone is lost
  if (procedure_(message) == MessageAnswer::kDefault && message == kWmClose) {
    destroyControlWindow();  // the default handling of a close request
  }
}

void Desktop::destroyControlWindow() {
  controlWindowOpen = false;
  procedure_(kWmDestroy);
}

bool Desktop::openControlWindow(const std::string& name, int32_t showMode,
                                ControlWindowProcedure procedure) {
  if (name != "ZELTRA_ScreenTool") throw std::logic_error("a control window named " + name);
  if (controlWindowFails) return false;
  procedure_ = std::move(procedure);
  controlWindowOpen = true;
  shownWith = showMode;
  return true;
}

void Desktop::closeControlWindow() {
  if (controlWindowOpen) destroyControlWindow();
  quitPending_ = true;
}

Event Desktop::waitForEvent(Process* watched, bool watchWindows, uint32_t timeoutMs) {
  const uint32_t began = clock_;
  // A watch sees the changes from its start on.
  if (watchWindows && !watching_) windowChanged_ = false;
  watching_ = watchWindows;
  const Encoder* watchedLife =
      watched != nullptr ? &static_cast<EncoderProcess*>(watched)->life() : nullptr;
  for (;;) {
    applyDue();
    if (watchedLife != nullptr && exited(*watchedLife)) return Event::kProcessExited;
    while (!queue_.empty() && !quitPending_) {
      const uint32_t message = queue_.front();
      queue_.pop_front();
      deliver(message);
    }
    if (quitPending_) {
      quitPending_ = false;
      return Event::kQuit;
    }
    if (watchWindows && windowChanged_) {
      windowChanged_ = false;
      return Event::kWindowChanged;
    }
    if (waitFailsAt && static_cast<int32_t>(*waitFailsAt - clock_) <= 0) return Event::kFailed;
    const uint32_t waited = clock_ - began;
    if (timeoutMs != kWaitForever && waited >= timeoutMs) return Event::kTimedOut;
    // The next moment anything can happen.
    std::optional<uint32_t> next = nextScheduled();
    const auto sooner = [&next, this](uint32_t at) {
      if (!next || at - clock_ < *next - clock_) next = at;
    };
    if (watchedLife != nullptr && watchedLife->exitAt) sooner(*watchedLife->exitAt);
    if (waitFailsAt) sooner(*waitFailsAt);
    if (timeoutMs != kWaitForever) sooner(began + timeoutMs);
    if (!next) throw std::logic_error("the launcher waits for ever: nothing more happens here");
    advanceTo(*next);
  }
}

std::vector<FoundWindow> Desktop::findWindowsTitled(const std::string& title) {
  const auto lower = [](std::string text) {
    for (char& c : text) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return text;
  };
  std::vector<FoundWindow> found;
  for (size_t i = windows_.size(); i-- > 0;) {  // topmost first
    const Window& w = windows_[i];
    if (!w.exists || lower(w.title) != lower(title)) continue;
    found.push_back({handleOf(i + 1), w.visible, w.minimized, w.cloaked});
  }
  return found;
}

std::optional<WindowMeasure> Desktop::measureWindow(WindowHandle handle) {
  Window& w = window(handle);
  if (w.closesWhenMeasured) {
    w.exists = false;
    w.closesWhenMeasured = false;
  }
  if (!w.exists) return std::nullopt;
  return WindowMeasure{w.rect, w.frame, screen, /*perMonitorDpiAware=*/true, scalePercent};
}

std::string Desktop::toAnsiCodePage(const std::wstring& text) {
  std::string ansi;
  for (const wchar_t c : text) {
    if (codePage932 && c == kDoubleByteCharacter) {
      ansi += "\x83\x5C";
    } else if (c == kEuro && !codePage932) {
      ansi += '\x80';
    } else {
      const bool held = c < 0x80 || (!codePage932 && c >= 0xA0 && c <= 0xFF);
      ansi += held ? static_cast<char>(c) : '?';
    }
  }
  return ansi;
}

std::wstring Desktop::fromAnsiCodePage(const std::string& text) {
  std::wstring wide;
  for (size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<uint8_t>(text[i]);
    if (codePage932 && byte >= 0x81 && byte <= 0x9F && i + 1 < text.size()) {
      wide += text.compare(i, 2, "\x83\x5C") == 0 ? kDoubleByteCharacter : L'\xFFFD';
      ++i;
    } else {
      wide += byte == 0x80 && !codePage932 ? kEuro : static_cast<wchar_t>(byte);
    }
  }
  return wide;
}

std::optional<std::vector<RunningProcess>> Desktop::findRunningProcesses(const std::string&) {
  std::vector<RunningProcess> found;
  for (size_t i = 0; i < encoders.size(); ++i) {
    if (exited(encoders[i])) continue;
    found.push_back({encoders[i].id, encoders[i].behaviour.otherSession
                                         ? nullptr
                                         : std::make_unique<EncoderProcess>(*this, i)});
  }
  return found;
}

CommandRun Desktop::runHiddenCommand(const std::string& commandText, uint32_t boundMs,
                                     uint32_t goneWaitMs) {
  if (commandText != "taskkill /IM ffmpeg.exe") throw std::logic_error("ran " + commandText);
  stopCommandsAt.push_back(clock_);
  CommandRun run;
  if (interpreter == Interpreter::kNone) return run;
  if (interpreter == Interpreter::kHangs || interpreter == Interpreter::kHangsAndOutlives) {
    const bool outlives = interpreter == Interpreter::kHangsAndOutlives;
    advanceTo(clock_ + boundMs + (outlives ? goneWaitMs : 0));
    run.end = outlives ? CommandEnd::kStillRunningAtBound : CommandEnd::kEndedAtBound;
    return run;
  }
  run.end = interpreter == Interpreter::kReturns ? CommandEnd::kReturned
                                                 : CommandEnd::kReturnedByFallback;
  advanceTo(clock_ + commandMs);
  // Windows' taskkill: the close request goes to each process's console
  // window; one without can only be ended by force, which it says on its
  // standard error.
  bool any = false;
  for (Encoder& e : encoders) {
    if (exited(e) || e.behaviour.otherSession) continue;
    any = true;
    const std::string pid = std::to_string(e.id);
    if (e.behaviour.hasConsoleWindow || taskkillClaimsEveryone) {
      run.output += "SUCCESS: Sent termination signal to the process \"ffmpeg.exe\" with PID " +
                    pid + ".\r\n";
    } else {
      run.errors += "ERROR: The process \"ffmpeg.exe\" with PID " + pid +
                    " could not be terminated.\r\nReason: This process can only be terminated "
                    "forcefully (with /F option).\r\n";
      run.exitCode = 1;
    }
    // A console event for the encoder only where its console heeds the request.
    if (e.behaviour.hasConsoleWindow && e.behaviour.hearsClose) signal(e, /*heeds=*/true);
  }
  if (!any) {
    run.errors = "ERROR: The process \"ffmpeg.exe\" not found.\r\n";
    run.exitCode = 128;
  }
  return run;
}

std::unique_ptr<Process> Desktop::startMinimized(const std::wstring& file,
                                                 const std::wstring& parameters) {
  launches.push_back({file, parameters, clock_});
  if (launchFails) return nullptr;
  Encoder& e = encoders.emplace_back();
  e.behaviour = encoder;
  e.id = 4242;
  e.startedAt = clock_;
  if (encoder.endsOnItsOwnAfterMs) {
    e.exitAt = clock_ + *encoder.endsOnItsOwnAfterMs;
    e.exitCode = encoder.exitCode;
  }
  launchedIndex_ = encoders.size() - 1;
  return std::make_unique<EncoderProcess>(*this, *launchedIndex_);
}

void Desktop::writeDiagnostic(const std::string& line) {
  const std::string prefix = "ZELTRA_ScreenTool: ";
  if (line.compare(0, prefix.size(), prefix) != 0 || line.back() != '\n' ||
      line.find('\n') != line.size() - 1) {
    throw std::logic_error("not one diagnostic line: " + line);
  }
  said.push_back(line.substr(prefix.size(), line.size() - prefix.size() - 1));
}

uint32_t recordAndStop(Desktop& desktop, uint32_t stopAt, const char* invocation,
                       int32_t showMode) {
  desktop.addWindow("Demo", kDemoRect);
  desktop.postAt(stopAt, kStopMessage);
  EXPECT_EQ(runLauncher(desktop, InvocationText{invocation, std::nullopt}, showMode), 0);
  return desktop.now() - stopAt;
}

}  // namespace zeltra::testing
