// The launcher, started and stopped through the caller header (see launcher_run.h).
#include "check/launcher_run.h"

#include <windows.h>

#include "caller/zeltra_screentool.h"
#include "check/child_process.h"
#include "check/machine_facts.h"
#include "launcher/stop.h"
#include "platform/ansi_text.h"
#include "platform/scoped_handle.h"

namespace zeltra::check {
namespace {

namespace zc = zeltra::caller;

const char* describe(zc::OutputFile output) {
  switch (output) {
    case zc::OutputFile::kMissing:
      return "there is no file";
    case zc::OutputFile::kEmpty:
      return "the file is empty";
    case zc::OutputFile::kWritten:
      return "the file was written, its finish not judged";
    case zc::OutputFile::kNotThisRun:
      return "the file is unchanged since before the start";
    case zc::OutputFile::kUnfinished:
      return "the encoder did not close the file: it is unfinished";
    case zc::OutputFile::kFinished:
      return "the encoder closed the file";
  }
  return "the file's state is unknown";
}

class CallerLauncherRun final : public LauncherRun {
 public:
  explicit CallerLauncherRun(zc::Recording recording)
      : recording_(std::move(recording)),
        // A handle of the check's own, to see an exit before the stop.
        process_(::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, recording_.processId())) {}

  uint32_t processId() const override { return recording_.processId(); }

  std::optional<uint32_t> waitForControlWindow(uint32_t timeoutMs) override {
    const zc::ControlWindowWait wait = recording_.waitForControlWindow(timeoutMs);
    if (wait.state != zc::ControlWindowState::kAppeared) return std::nullopt;
    return wait.msSinceStart;
  }

  bool exited() const override {
    return process_.valid() && ::WaitForSingleObject(process_.get(), 0) == WAIT_OBJECT_0;
  }

  LauncherStop stop() override {
    const zc::StopResult result = recording_.stop();
    LauncherStop stop;
    stop.endedBeforeStop = result.outcome == zc::StopOutcome::kEndedBeforeStop;
    stop.accepted = result.acceptedAfterMs.has_value();
    stop.exited = result.exitCode.has_value();
    stop.acceptedAfterMs = result.acceptedAfterMs;
    stop.exitedAfterMs = result.exitedAfterMs;
    stop.exitCode = result.exitCode;
    stop.fileFinished = result.output == zc::OutputFile::kFinished;
    stop.fileState = describe(result.output);
    reasons_ = result.reasons;
    return stop;
  }

  // A Recording let go does just that (see the caller header's top).
  void leave() override { recording_ = zc::Recording(); }

  void end() override {
    for (const RunningProcess& encoder : findProcesses(kEncoderImageName)) {
      if (encoder.parentId == processId()) endProcess(encoder.id);
    }
    if (!process_.valid()) return;
    ::TerminateProcess(process_.get(), 1);
    ::WaitForSingleObject(process_.get(), 5000);
  }

  std::vector<std::string> reasons() const override { return reasons_; }

 private:
  zc::Recording recording_;
  ScopedHandle process_;
  std::vector<std::string> reasons_;
};

}  // namespace

std::unique_ptr<LauncherRun> startLauncherRun(const std::wstring& launcherPath,
                                              const std::string& title,
                                              const std::string& outputPath, std::string& whyNot) {
  // The header's wide call: the launcher's path may hold what the ANSI code page cannot.
  zc::StartOptions options;
  options.collectReasons = true;  // step 5 holds them beside the debug output
  zc::StartResult started =
      zc::startRecording(launcherPath, widenFromAnsi(title), widenFromAnsi(outputPath), options);
  switch (started.outcome) {
    case zc::StartOutcome::kStarted:
      return std::make_unique<CallerLauncherRun>(std::move(started.recording));
    case zc::StartOutcome::kRefused:
      whyNot = zc::refusalReason(started.refusal);
      return nullptr;
    case zc::StartOutcome::kFailed:
      whyNot = "Windows error " + std::to_string(started.windowsError);
      return nullptr;
  }
  return nullptr;
}

}  // namespace zeltra::check
