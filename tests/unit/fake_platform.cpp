#include "tests/unit/fake_platform.h"

#include <algorithm>
#include <stdexcept>

#include "launcher/windows_constants.h"

namespace zeltra::testing {
namespace {

// A wait that never ends is a failing test, not a hanging one.
constexpr int kLookupLimit = 100000;

}  // namespace

void FakePlatform::deliverAfter(const std::string& operation, Message message, int occurrence) {
  static const std::string kOperations =
      " registerWindowClass createWindow showWindow destroyWindow defaultWindowProcedure"
      " waitForMessageOrProcessExit takePendingMessage translateMessage dispatchMessage postQuit"
      " startWindowWatch stopWindowWatch waitForMessageOrWindowChange findTopLevelWindow"
      " readWindowState isPerMonitorDpiAware readVisibleFrame"
      " readWindowRect readVirtualScreen readModuleFileName findRunningProcesses runHiddenCommand"
      " stopIgnoringCtrlC launchProcess waitForProcessExit interruptConsoleProcess "
      "terminateProcess readProcessExit"
      " releaseProcess pause readTickCount writeDiagnostic ";
  if (kOperations.find(" " + operation + " ") == std::string::npos) {
    throw std::invalid_argument("the double has no operation " + operation);
  }
  arrivals_[{operation, occurrence}].push_back(message);
}

int FakePlatform::count(const std::string& operation) const {
  const auto found = counts_.find(operation);
  return found == counts_.end() ? 0 : found->second;
}

int FakePlatform::indexOf(const std::string& operation) const {
  for (size_t i = 0; i < calls.size(); ++i) {
    if (calls[i] == operation || calls[i].rfind(operation + " ", 0) == 0) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

int FakePlatform::lastIndexOf(const std::string& operation) const {
  for (int i = static_cast<int>(calls.size()) - 1; i >= 0; --i) {
    if (calls[i] == operation || calls[i].rfind(operation + " ", 0) == 0) return i;
  }
  return -1;
}

std::string FakePlatform::firstCall(const std::string& operation) const {
  const int index = indexOf(operation);
  return index < 0 ? "(no call of " + operation + ")" : calls[index];
}

void FakePlatform::record(const std::string& operation, const std::string& detail) {
  calls.push_back(detail.empty() ? operation : operation + " " + detail);
  const int occurrence = ++counts_[operation];
  const auto arriving = arrivals_.find({operation, occurrence});
  if (arriving != arrivals_.end()) {
    queue_.insert(queue_.end(), arriving->second.begin(), arriving->second.end());
  }
}

bool FakePlatform::takeNext(Message& message) {
  if (!queue_.empty()) {
    message = queue_.front();
    queue_.pop_front();
    return true;
  }
  // As on Windows, the quit comes only once nothing else is waiting.
  if (quitPosted_) {
    message = Message{nullptr, kWmQuit, static_cast<uintptr_t>(*quitPosted_), 0};
    quitPosted_.reset();
    return true;
  }
  return false;
}

bool FakePlatform::registerWindowClass(const std::string& className, WindowProcedure procedure,
                                       InstanceHandle) {
  record("registerWindowClass", className);
  registeredClassName = className;
  registeredProcedure = procedure;
  return true;
}

intptr_t FakePlatform::defaultWindowProcedure(WindowHandle window, uint32_t message, uintptr_t,
                                              intptr_t) {
  record("defaultWindowProcedure", std::to_string(message));
  // The default handling of a close request destroys the window.
  if (message == kWmClose && registeredProcedure != nullptr) {
    registeredProcedure(window, kWmDestroy, 0, 0);
  }
  return 0;
}

Wake FakePlatform::waitForMessageOrProcessExit(ProcessHandle process, uint32_t timeoutMs) {
  record("waitForMessageOrProcessExit");
  if (!queue_.empty() || quitPosted_) {
    return Wake::kMessage;
  }
  if (process != nullptr && process != kEncoderProcess && earlierEncoders) {
    for (const EarlierEncoder& e : *earlierEncoders) {
      if (earlierHandle(e.id) != process) continue;
      if (e.goesOnClose && commandsReturned_ > 0) {
        clockMs += e.takesMs;
        return Wake::kProcessExited;
      }
      clockMs += timeoutMs;
      return Wake::kTimedOut;
    }
  }
  if (process != nullptr && encoderEnd == EncoderEnd::kOnItsOwn && !encoderEnded_) {
    encoderEnded_ = true;
    return Wake::kProcessExited;
  }
  return Wake::kFailed;  // nothing left in the script stands for a failing wait
}

intptr_t FakePlatform::dispatchMessage(const Message& message) {
  record("dispatchMessage", std::to_string(message.message));
  dispatched.push_back(message);
  if (registeredProcedure == nullptr) {
    return 0;
  }
  return registeredProcedure(message.window, message.message, message.wParam, message.lParam);
}

WindowHandle FakePlatform::findTopLevelWindow(const std::string& title, WindowHandle after) {
  if (++lookups_ > kLookupLimit) {
    throw std::runtime_error("the launcher looked for the window " + std::to_string(kLookupLimit) +
                             " times without end");
  }
  record("findTopLevelWindow", title);
  if (after != nullptr) {
    const auto below = nextWithTitle.find(after);
    return below == nextWithTitle.end() ? nullptr : below->second;
  }
  if (lookupResults.empty()) {
    return lookupDefault;
  }
  const WindowHandle found = lookupResults.front();
  lookupResults.pop_front();
  return found;
}

WindowState FakePlatform::readWindowState(WindowHandle window) {
  record("readWindowState");
  const auto states = windowStates.find(window);
  if (states == windowStates.end() || states->second.empty()) {
    return WindowState{/*visible=*/true, /*minimized=*/false, /*cloaked=*/false};
  }
  const WindowState state = states->second.front();
  if (states->second.size() > 1) states->second.pop_front();
  return state;
}

bool FakePlatform::readWindowRect(WindowHandle, Rect& rect) {
  record("readWindowRect");
  std::optional<Rect> result = windowRect;
  if (!rectResults.empty()) {
    result = rectResults.front();
    rectResults.pop_front();
  }
  if (result) {
    rect = *result;
  }
  return result.has_value();
}

uint32_t FakePlatform::readModuleFileName(wchar_t* buffer, uint32_t capacity) {
  record("readModuleFileName", std::to_string(capacity));
  // Like Windows: a path that does not fit is cut to the buffer, and the
  // whole buffer is reported as used.
  const auto copied = static_cast<uint32_t>(std::min<size_t>(modulePath.size(), capacity));
  std::copy_n(modulePath.begin(), copied, buffer);
  if (copied < capacity) {
    buffer[copied] = L'\0';
  }
  return copied;
}

std::string FakePlatform::toAnsiCodePage(const std::wstring& text) {
  std::string ansi;
  for (const wchar_t c : text) {
    if (doubleByteCodePage && c == kDoubleByteCharacter) {
      ansi += "\x83\x5C";
    } else if (c < (doubleByteCodePage ? 0x80 : 0x100)) {
      ansi += static_cast<char>(c);
    } else {
      ansi += '?';
    }
  }
  return ansi;
}

std::wstring FakePlatform::fromAnsiCodePage(const std::string& text) {
  std::wstring wide;
  for (size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<uint8_t>(text[i]);
    if (isLeadByte(byte) && i + 1 < text.size()) {
      wide += text.compare(i, 2, "\x83\x5C") == 0 ? kDoubleByteCharacter : L'\xFFFD';
      ++i;
    } else {
      wide += static_cast<wchar_t>(byte);
    }
  }
  return wide;
}

bool FakePlatform::waitForProcessExit(ProcessHandle, uint32_t timeoutMs) {
  record("waitForProcessExit", std::to_string(timeoutMs));
  const bool exited = encoderExits();
  clockMs += exited ? encoderExitTakesMs : timeoutMs;
  return exited;
}

bool FakePlatform::encoderExits() const {
  switch (encoderEnd) {
    case EncoderEnd::kOnStopCommand:
      return commandsReturned_ > 0;
    case EncoderEnd::kOnCtrlC:
      return interruptsReached_ > 0;
    case EncoderEnd::kNever:
      return false;
    case EncoderEnd::kOnItsOwn:
      return encoderEnded_;
  }
  return false;
}

}  // namespace zeltra::testing
