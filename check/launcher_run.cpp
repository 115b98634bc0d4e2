// The launcher, started and stopped as callers do (see launcher_run.h).
#include "check/launcher_run.h"

#include <windows.h>

#include "check/child_process.h"
#include "check/scoped_handle.h"

namespace zeltra::check {
namespace {

constexpr char kControlWindow[] = "ZELTRA_ScreenTool";
constexpr UINT kStopMessage = WM_USER + 1;

class Win32LauncherRun final : public LauncherRun {
 public:
  explicit Win32LauncherRun(const PROCESS_INFORMATION& info)
      : process_(info.hProcess), thread_(info.hThread), id_(info.dwProcessId) {}

  uint32_t processId() const override { return id_; }

  bool controlWindowPresent() const override {
    return ::FindWindowA(kControlWindow, kControlWindow) != nullptr;
  }

  bool requestStop() override {
    const HWND control = ::FindWindowA(kControlWindow, kControlWindow);
    return control != nullptr && ::PostMessageA(control, kStopMessage, 0, 0) != FALSE;
  }

  bool exited(uint32_t& exitCode) const override {
    if (::WaitForSingleObject(process_.get(), 0) != WAIT_OBJECT_0) return false;
    DWORD code = 0;
    ::GetExitCodeProcess(process_.get(), &code);
    exitCode = code;
    return true;
  }

  void end() override {
    for (const RunningProcess& encoder : findProcesses("ffmpeg.exe")) {
      if (encoder.parentId == id_) endProcess(encoder.id);
    }
    ::TerminateProcess(process_.get(), 1);
    ::WaitForSingleObject(process_.get(), 5000);
  }

 private:
  ScopedHandle process_;
  ScopedHandle thread_;
  uint32_t id_;
};

// The invocation "title#head#tail": only the tail may hold "#", so the path
// is split at its first "#", or else after its folder.
std::string invocationFor(const std::string& title, const std::string& outputPath) {
  size_t split = outputPath.find('#');
  if (split == std::string::npos) split = outputPath.find_last_of('\\') + 1;
  return title + "#" + outputPath.substr(0, split) + "#" + outputPath.substr(split);
}

}  // namespace

std::unique_ptr<LauncherRun> startLauncherRun(const std::string& launcherPath,
                                              const std::string& title,
                                              const std::string& outputPath) {
  std::string commandLine = "\"" + launcherPath + "\" " + invocationFor(title, outputPath);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, /*bInheritHandles=*/FALSE, 0,
                        nullptr, nullptr, &startup, &info)) {
    return nullptr;
  }
  return std::make_unique<Win32LauncherRun>(info);
}

}  // namespace zeltra::check
