// record_window: a caller built on zeltra_screentool.h, shipped as its
// example and run by the Wine bench, so the example is built and exercised
// with every test run.
//
//   record_window <launcher path> <window title> <output path>
//                 [--at-once | --request-first | --request-on-enter]
//
// Starts the launcher, waits for its control window and for the recording to
// begin, records until a line (Enter) comes on standard input, then stops and
// says how it ended. With --at-once it stops right after the start, before
// the launcher has had time to create its control window. With
// --request-first it asks for the stop there without waiting, then waits on
// the launcher's process itself, asking on at each wake until the stop is
// accepted, and takes the result from stop(). With --request-on-enter it
// records until Enter, then asks in that same loop and reports the stop
// accepted before it calls stop(): from that line on, this caller may die and
// the launcher still finishes the file. One line per step:
//   started pid=<n>            or refused reason=<text>, failed error=<n>
//   job where=<own|own-nested|broke-away|callers-only|none>
//   window ms=<n>              or window state=launcher-ended, state=not-yet
//   recording state=<begun|encoder-ended|launcher-ended|not-yet> ms=<n>
//   requested state=<kept|posted|accepted|post-refused|ended-before-stop> error=<n>
//   request-ended state=<...> error=<n>   (with --request-first or --request-on-enter:
//                              the first ask's answer, and the last one, once its
//                              own loop ended)
//   reason <text>              each of the launcher's lines on its standard error
//   stopped outcome=<stopped|ended-before-stop|stop-not-accepted|not-exited>
//           exit=<n|none> output=<missing|empty|written|not-this-run|unfinished|finished>
//           encoder=<running|none|not-known> accepted-ms=<n|none> exited-ms=<n|none>
//           post-error=<n|none>
// Exits with 0 when the file covers the recording (StopResult::coversTheRecording),
// 1 otherwise, 2 on a usage error.
#include <cstdio>
#include <optional>
#include <string>

#include "zeltra_screentool.h"

namespace {

namespace zc = zeltra::caller;

std::string numberOrNone(const std::optional<DWORD>& value) {
  return value ? std::to_string(*value) : "none";
}

// Each line goes out at once: whoever drives this program reacts to it.
void report(const std::string& line) {
  std::fputs((line + "\n").c_str(), stdout);
  std::fflush(stdout);
}

void reportWindow(zc::Recording& recording) {
  const zc::ControlWindowWait wait = recording.waitForControlWindow(zc::kDefaultStopDeadlineMs);
  report(wait.state == zc::ControlWindowState::kAppeared
             ? "window ms=" + std::to_string(wait.msSinceStart)
             : std::string("window state=") + zc::toString(wait.state));
}

// The launcher waits for its window without a limit. Once it has it, the
// launcher may run the stop command (3 s at most, and 5 s for what it
// started to go), wait for earlier encoders to finish their files (10 s at
// most), and its encoder writes its file's header within a few seconds of
// its start. Past this, stop waiting and record on: the stop's result says
// what became of the file.
constexpr DWORD kRecordingBeginLimitMs = 30000;

void reportRecording(zc::Recording& recording) {
  const zc::RecordingWait wait = recording.waitForRecording(kRecordingBeginLimitMs);
  report(std::string("recording state=") + zc::toString(wait.state) +
         " ms=" + std::to_string(wait.msSinceStart));
}

// The caller's own loop, as a program with other work would run it: the
// launcher's handle among its waits, and requestStop() at each wake, which
// posts a kept stop once the window is there. Within the stop's deadline.
void requestAndWait(zc::Recording& recording) {
  zc::StopRequest request = recording.requestStop();
  report(std::string("requested state=") + zc::toString(request.state) +
         " error=" + std::to_string(request.windowsError));
  constexpr DWORD kWakeMs = 100;
  for (DWORD waited = 0; waited < zc::kDefaultStopDeadlineMs && !request.accepted() &&
                         request.state != zc::StopRequestState::kEndedBeforeStop;
       waited += kWakeMs) {
    ::WaitForSingleObject(recording.processHandle(), kWakeMs);
    request = recording.requestStop();
  }
  report(std::string("request-ended state=") + zc::toString(request.state) +
         " error=" + std::to_string(request.windowsError));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) {
    report(
        "usage: record_window <launcher path> <window title> <output path> [--at-once | "
        "--request-first | --request-on-enter]");
    return 2;
  }
  const std::wstring mode = argc > 4 ? argv[4] : L"";
  zc::StartOptions options;
  options.collectReasons = true;  // why the launcher did what it did, in the result
  zc::StartResult started = zc::startRecording(argv[1], argv[2], argv[3], options);
  if (started.outcome == zc::StartOutcome::kRefused) {
    report(std::string("refused reason=") + zc::refusalReason(started.refusal));
    return 1;
  }
  if (started.outcome == zc::StartOutcome::kFailed) {
    report("failed error=" + std::to_string(started.windowsError));
    return 1;
  }
  zc::Recording recording = std::move(started.recording);
  report("started pid=" + std::to_string(recording.processId()));
  report(std::string("job where=") + zc::toString(started.job));
  if (mode == L"--request-first") {
    requestAndWait(recording);
  } else if (mode != L"--at-once") {
    reportWindow(recording);
    reportRecording(recording);
    char line[16];
    std::fgets(line, sizeof line, stdin);  // end of input stops too
    if (mode == L"--request-on-enter") requestAndWait(recording);
  }
  const zc::StopResult stopped = recording.stop();
  for (const std::string& reason : stopped.reasons) report("reason " + reason);
  report(std::string("stopped outcome=") + zc::toString(stopped.outcome) +
         " exit=" + numberOrNone(stopped.exitCode) + " output=" + zc::toString(stopped.output) +
         " encoder=" + zc::toString(stopped.encoder) +
         " accepted-ms=" + numberOrNone(stopped.acceptedAfterMs) + " exited-ms=" +
         numberOrNone(stopped.exitedAfterMs) + " post-error=" + numberOrNone(stopped.postError));
  return stopped.coversTheRecording() ? 0 : 1;
}
