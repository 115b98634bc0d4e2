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
                                       InstanceHandle instance) {
  record("registerWindowClass", className);
  registeredClassName = className;
  registeredProcedure = procedure;
  registeredInstance = instance;
  return true;
}

WindowHandle FakePlatform::createWindow(const WindowRequest& request) {
  record("createWindow", request.title);
  windowRequests.push_back(request);
  return windowCreationFails ? nullptr : kControlWindow;
}

void FakePlatform::showWindow(WindowHandle, int32_t showMode) {
  record("showWindow", std::to_string(showMode));
}

void FakePlatform::destroyWindow(WindowHandle window) {
  record("destroyWindow");
  if (registeredProcedure != nullptr) {
    registeredProcedure(window, kWmDestroy, 0, 0);
  }
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

Wake FakePlatform::waitForMessageOrProcessExit(ProcessHandle process) {
  record("waitForMessageOrProcessExit");
  if (!queue_.empty() || quitPosted_) {
    return Wake::kMessage;
  }
  if (process != nullptr && encoderEnd == EncoderEnd::kOnItsOwn && !encoderEnded_) {
    encoderEnded_ = true;
    return Wake::kProcessExited;
  }
  return Wake::kFailed;  // nothing left in the script stands for a failing wait
}

bool FakePlatform::takePendingMessage(Message& message) {
  record("takePendingMessage");
  return takeNext(message);
}

void FakePlatform::translateMessage(const Message&) { record("translateMessage"); }

intptr_t FakePlatform::dispatchMessage(const Message& message) {
  record("dispatchMessage", std::to_string(message.message));
  dispatched.push_back(message);
  if (registeredProcedure == nullptr) {
    return 0;
  }
  return registeredProcedure(message.window, message.message, message.wParam, message.lParam);
}

void FakePlatform::postQuit(int32_t exitCode) {
  record("postQuit", std::to_string(exitCode));
  quitPosted_ = exitCode;
}

void FakePlatform::startWindowWatch() {
  record("startWindowWatch");
  ++watchesOpen;
}

void FakePlatform::stopWindowWatch() {
  record("stopWindowWatch");
  --watchesOpen;
}

void FakePlatform::waitForMessageOrWindowChange(uint32_t timeoutMs) {
  record("waitForMessageOrWindowChange", std::to_string(timeoutMs));
}

WindowHandle FakePlatform::findTopLevelWindow(const std::string& title) {
  if (++lookups > kLookupLimit) {
    throw std::runtime_error("the launcher looked for the window " + std::to_string(kLookupLimit) +
                             " times without end");
  }
  record("findTopLevelWindow", title);
  if (lookupResults.empty()) {
    return lookupDefault;
  }
  const WindowHandle found = lookupResults.front();
  lookupResults.pop_front();
  return found;
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

VirtualScreen FakePlatform::readVirtualScreen() {
  record("readVirtualScreen");
  return virtualScreen;
}

uint32_t FakePlatform::readModuleFileName(char* buffer, uint32_t capacity) {
  record("readModuleFileName", std::to_string(capacity));
  // Like Windows: a path that does not fit is cut to the buffer, and the
  // whole buffer is reported as used.
  const auto copied = static_cast<uint32_t>(std::min<size_t>(modulePath.size(), capacity));
  std::copy_n(modulePath.begin(), copied, buffer);
  if (copied < capacity) {
    buffer[copied] = '\0';
  }
  return copied;
}

bool FakePlatform::isLeadByte(uint8_t byte) {
  return doubleByteCodePage && ((byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC));
}

bool FakePlatform::isProcessRunning(const std::string& imageName) {
  record("isProcessRunning", imageName);
  return encoderImageRunning;
}

CommandOutcome FakePlatform::runHiddenCommand(const std::string& commandText) {
  commands.push_back(commandText);
  record("runHiddenCommand", commandText);
  return commandOutcome;
}

ProcessHandle FakePlatform::launchProcess(const ShellLaunchRequest& request) {
  launches.push_back(request);
  record("launchProcess", request.file);
  return launchFails ? nullptr : kEncoderProcess;
}

bool FakePlatform::waitForProcessExit(ProcessHandle, uint32_t timeoutMs) {
  record("waitForProcessExit", std::to_string(timeoutMs));
  switch (encoderEnd) {
    case EncoderEnd::kOnStopCommand:
      return count("runHiddenCommand") > 0;
    case EncoderEnd::kOnCtrlC:
      return count("interruptConsoleProcess") > 0;
    case EncoderEnd::kNever:
      return false;
    case EncoderEnd::kOnItsOwn:
      return encoderEnded_;
  }
  return false;
}

bool FakePlatform::interruptConsoleProcess(ProcessHandle) {
  record("interruptConsoleProcess");
  return true;
}

void FakePlatform::terminateProcess(ProcessHandle, uint32_t exitCode) {
  record("terminateProcess", std::to_string(exitCode));
}

ProcessExit FakePlatform::readProcessExit(ProcessHandle) {
  record("readProcessExit");
  return encoderExit;
}

void FakePlatform::releaseProcess(ProcessHandle) { record("releaseProcess"); }

void FakePlatform::pause(uint32_t milliseconds) { record("pause", std::to_string(milliseconds)); }

void FakePlatform::writeDiagnostic(const std::string& line) {
  diagnostics.push_back(line);
  record("writeDiagnostic");
}

}  // namespace zeltra::testing
