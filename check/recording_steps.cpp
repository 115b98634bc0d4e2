// Steps 4 to 6: a real recording through the launcher, started and stopped
// as callers do, the launcher's diagnostic lines as they come, and the file
// read back with the same encoder (see check_steps.h).
#include <windows.h>

#include <cmath>
#include <optional>
#include <vector>

#include "check/check_steps.h"
#include "check/child_process.h"
#include "check/debug_output_reader.h"
#include "check/encoder_finish.h"
#include "check/interruption.h"
#include "check/launcher_run.h"
#include "check/machine_facts.h"
#include "check/output_place.h"
#include "check/recording_readback.h"
#include "check/test_window.h"

namespace zeltra::check {
namespace {

constexpr char kFileName[] = "check-recording.avi";
// Not multiples of 4, so that the launcher's rounding shows in the file.
constexpr int kWindowWidth = 403;
constexpr int kWindowHeight = 301;
constexpr DWORD kRecordMs = 2000;
// A bound against a hung run, not an expectation: the encoder starts within
// about a second. The stop's bound is the caller header's.
constexpr DWORD kFirstGrowthLimitMs = 20000;
constexpr DWORD kReadBackLimitMs = 60000;

std::string ms(DWORD value) { return std::to_string(value) + " ms"; }

std::string oneDecimal(double value) {
  const long tenths = std::lround(value * 10);
  return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
}

// The launcher's lines, printed as they come, on the reader's thread: the
// check's own thread may be waiting in the caller header's stop meanwhile.
// Lines may come before the launcher's process id is known; they wait.
class LauncherLines {
 public:
  explicit LauncherLines(Report& report) : report_(report) { ::InitializeCriticalSection(&lock_); }
  ~LauncherLines() { ::DeleteCriticalSection(&lock_); }
  LauncherLines(const LauncherLines&) = delete;
  LauncherLines& operator=(const LauncherLines&) = delete;

  void take(const DebugLine& line) {
    ::EnterCriticalSection(&lock_);
    if (processId_ == 0) {
      waiting_.push_back(line);
    } else if (line.processId == processId_) {
      show(line.text);
    }
    ::LeaveCriticalSection(&lock_);
  }

  void follow(uint32_t processId) {
    ::EnterCriticalSection(&lock_);
    processId_ = processId;
    for (const DebugLine& line : waiting_) {
      if (line.processId == processId) show(line.text);
    }
    waiting_.clear();
    ::LeaveCriticalSection(&lock_);
  }

  std::vector<std::string> texts() {
    ::EnterCriticalSection(&lock_);
    std::vector<std::string> copy = texts_;
    ::LeaveCriticalSection(&lock_);
    return copy;
  }

 private:
  void show(const std::string& debugOutput) {
    if (const std::optional<std::string> text = launcherLineText(debugOutput)) {
      texts_.push_back(*text);
      report_.note("launcher says: " + *text);
    }
  }

  Report& report_;
  CRITICAL_SECTION lock_{};
  uint32_t processId_ = 0;
  std::vector<DebugLine> waiting_;
  std::vector<std::string> texts_;
};

// The test window, placed inside the work area of the main display.
RECT testWindowPlacement() {
  RECT work{0, 0, 800, 600};
  ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  const LONG left = work.left + 100;
  const LONG top = work.top + 80;
  return RECT{left, top, left + kWindowWidth, top + kWindowHeight};
}

// The caller header's wait for the control window, in slices, so that an
// interruption ends it; nullopt when it did not appear.
std::optional<uint32_t> waitForControlWindow(LauncherRun& run) {
  std::optional<uint32_t> appeared;
  waitUntil(kFirstGrowthLimitMs, [&] {
    appeared = run.waitForControlWindow(kPollMs);
    return appeared.has_value() || run.exited();
  });
  return appeared;
}

// Stops the launcher through the caller header and reports both signals:
// the control window gone (the stop accepted) and the exit (the file finished).
void stopAndReport(Report& report, LauncherRun& run) {
  const LauncherStop stop = run.stop();
  if (stop.endedBeforeStop) report.fail("the launcher exited before the stop");
  if (stop.acceptedAfterMs) {
    report.note("the stop was accepted (the control window went) " + ms(*stop.acceptedAfterMs) +
                " after the stop was sent");
  }
  if (!stop.exited) {
    run.end();
    report.fail(std::string(stop.accepted ? "the launcher took the stop but had not exited"
                                          : "the launcher did not take the stop") +
                " in time; ended it and its encoder");
  } else if (stop.exitedAfterMs) {
    const std::string exit = "the launcher exited with " + std::to_string(*stop.exitCode) + ", " +
                             ms(*stop.exitedAfterMs) + " after the stop was sent";
    if (*stop.exitCode == 0) {
      report.pass(exit);
    } else {
      report.fail(exit);
    }
  }
  if (stop.fileFinished) {
    report.pass(stop.fileState);
  } else if (stop.exited) {
    report.fail(stop.fileState);
  }
}

// Records about 2 s from the file's first growth, then stops as callers do.
// Returns where the cursor stood, in window coordinates, when it stopped;
// nullopt when the check was interrupted before the stop was sent.
std::optional<Point> recordAndStop(Report& report, LauncherRun& run, LauncherLines& lines,
                                   const std::string& file, const RECT& window) {
  const DWORD started = ::GetTickCount();
  if (const std::optional<uint32_t> appeared = waitForControlWindow(run)) {
    report.note("the control window appeared " + ms(*appeared) + " after the start");
  }
  const auto endedOnItsOwn = [&lines] {
    const std::optional<FinishKey> finish = readEncoderFinish(lines.texts());
    return finish && finish->finish == EncoderFinish::kOnItsOwn;
  };
  waitUntil(kFirstGrowthLimitMs, [&] { return hasGrown(file) || run.exited() || endedOnItsOwn(); });
  if (interrupted()) return std::nullopt;
  if (hasGrown(file)) {
    report.note("the file first grew " + ms(::GetTickCount() - started) +
                " after the start; recording " + std::to_string(kRecordMs / 1000) +
                " s from there");
    if (!pauseUnlessInterrupted(kRecordMs)) return std::nullopt;
  } else if (endedOnItsOwn()) {
    report.fail("the encoder ended before the file grew",
                "see the launcher's lines above: the encoder may not be able to write there");
  } else if (!run.exited()) {
    report.fail("the file did not grow within " + std::to_string(kFirstGrowthLimitMs / 1000) +
                " s of the start");
  }
  POINT cursor{};
  ::GetCursorPos(&cursor);
  stopAndReport(report, run);
  return Point{cursor.x - window.left, cursor.y - window.top};
}

void reportEncoderFinish(Report& report, const std::vector<std::string>& lines) {
  const std::optional<FinishKey> finish = readEncoderFinish(lines);
  if (!finish) {
    report.fail("no line of the launcher says what finished the encoder");
    return;
  }
  const std::string after =
      finish->msAfterStopCommand
          ? ", " + std::to_string(*finish->msAfterStopCommand) + " ms after the stop command"
          : "";
  switch (finish->finish) {
    case EncoderFinish::kStopCommand:
      report.pass("the stop command alone finished the encoder" + after);
      break;
    case EncoderFinish::kStopKey:
      report.pass("the encoder finished on its stop key, typed by the launcher" + after +
                  " (the stop command alone did not finish it)");
      break;
    case EncoderFinish::kCtrlC:
      report.pass("the launcher's Ctrl+C finished the encoder" + after +
                  " (neither the stop command nor its stop key did)");
      break;
    case EncoderFinish::kEnded:
    case EncoderFinish::kExitedAtLimit:
      report.fail("the launcher ended the encoder after its time limit: the file is unfinished",
                  "the encoder heard neither the stop command nor Ctrl+C; attach this report");
      break;
    case EncoderFinish::kNotEnded:
      report.fail(
          "the encoder could not be ended after the launcher's time limit: it may record on",
          "end ffmpeg.exe in the Task Manager; attach this report");
      break;
    case EncoderFinish::kOnItsOwn:
      report.fail("the encoder ended on its own before the stop: nothing was recorded");
      break;
  }
}

void judge(Report& report, bool passed, const std::string& text, const std::string& remedy = {}) {
  if (passed) {
    report.pass(text);
  } else {
    report.fail(text, remedy);
  }
}

void reportFrameRate(Report& report, const StreamFacts& facts, int frames) {
  const double seconds = facts.durationSeconds.value_or(0);
  const double rate = seconds > 0 ? frames / seconds : 0;
  const bool passed = frames >= 30 && rate > 25 && rate < 35;
  judge(report, passed,
        std::to_string(frames) + " frames in " + oneDecimal(seconds) + " s, " +
            std::to_string(std::lround(rate)) + " frames a second" +
            (passed ? "" : "; about 30 belong there"));
}

void reportFrameSize(Report& report, const StreamFacts& facts, const RECT& window) {
  const int width = window.right - window.left;
  const int height = window.bottom - window.top;
  judge(report, facts.width == width / 4 * 4 && facts.height == height / 4 * 4,
        "frame size " + std::to_string(facts.width) + "x" + std::to_string(facts.height) +
            "; the window's " + std::to_string(width) + "x" + std::to_string(height) +
            " rounded down to multiples of 4 is " + std::to_string(width / 4 * 4) + "x" +
            std::to_string(height / 4 * 4));
}

void reportPicture(Report& report, const PictureFindings& pictures) {
  const std::string closeness = "the frame differs from the picture by " +
                                oneDecimal(pictures.difference) + " a channel on average (" +
                                oneDecimal(pictures.shiftedDifference) +
                                " with the picture moved 4 pixels)";
  if (pictures.pointsChecked >= 3 && pictures.mismatches.empty() && pictures.aligned) {
    report.pass("the test window's colours at " + std::to_string(pictures.pointsChecked) +
                " points away from the cursor; " + closeness);
  } else {
    report.fail("the recording does not show the test window where it stands: " +
                    (pictures.mismatches.empty() ? closeness : pictures.mismatches.front()),
                "another window may cover it, or the display's scaling may move it");
  }
  std::string positions;
  for (const int x : pictures.barPositions) positions += " " + std::to_string(x);
  judge(report, pictures.barMoved,
        std::string(pictures.barMoved ? "the moving bar moved" : "the moving bar did not move") +
            " (at x =" + positions + (pictures.barMoved ? ")" : "; -1: not seen)"),
        "the recording may have frozen: another window may stand over the test window");
}

// Interrupted while the launcher runs. On Ctrl+C the recording is stopped as
// callers stop it, unless the stop was sent already, and the folder removed.
// The console's close leaves about 5 s before Windows ends the check: the
// stop is posted and its acceptance awaited at most 1 s (the caller header's
// leaving), and the launcher finishes its file by itself, in a folder that
// is left in place.
void endInterrupted(Report& report, LauncherRun& run, const OutputPlace& place, bool keep,
                    bool stopSent) {
  if (interruption() == Interruption::kConsoleClosing) {
    if (!stopSent) run.leave();
    interruptionHandled();
    return;
  }
  report.interrupt(stopSent ? "interrupted by Ctrl+C"
                            : "interrupted by Ctrl+C; stopping the recording");
  if (!stopSent) stopAndReport(report, run);
  // A launcher that ended without seeing its encoder through (ended from
  // outside, or, under Wine, by this Ctrl+C on the console it is handed)
  // leaves the encoder running: it is ended too, so that nothing runs on.
  run.end();
  removeOutput(report, place, keep);
}

// Decodes the file to raw pictures with the encoder the launcher used.
void readBack(Report& report, const CheckSetup& setup, const std::string& file, const RECT& window,
              Point cursor) {
  const ProgramRun run = runProgram(
      setup.encoder, "-hide_banner -nostdin -i \"" + file + "\" -f rawvideo -pix_fmt rgb24 -",
      kReadBackLimitMs, interruptionEvent());
  if (run.interrupted) return;
  const std::optional<StreamFacts> facts = readStreamFacts(run.errors);
  if (!run.started || run.timedOut || !run.drained || !facts) {
    report.fail("ffmpeg.exe could not read the recording back" +
                std::string(run.timedOut ? " in time" : ""));
    return;
  }
  const PictureFindings pictures =
      checkPictures(run.output, facts->width, facts->height, window.right - window.left,
                    window.bottom - window.top, cursor);
  reportFrameRate(report, *facts, pictures.frames);
  reportFrameSize(report, *facts, window);
  reportPicture(report, pictures);
}

}  // namespace

void checkRecording(Report& report, const CheckSetup& setup) {
  report.beginStep("A real recording through the launcher");
  LauncherLines lines(report);
  // Opened before the launcher starts, so that none of its lines is missed.
  DebugOutputReader reader([&lines](const DebugLine& line) { lines.take(line); });
  const DebugOutputReader::Opening opening = reader.open();
  const OutputPlace place = prepareOutput(setup, kFileName);
  TestWindow window;
  const std::string title =
      "ZELTRA_ScreenTool check window " + std::to_string(::GetCurrentProcessId());
  if (!window.open(title, testWindowPlacement())) {
    report.fail("could not open the test window");
    return;
  }
  const RECT rect = window.rectangle();
  report.note("test window \"" + title + "\": " + std::to_string(rect.right - rect.left) + "x" +
              std::to_string(rect.bottom - rect.top) + " at " + std::to_string(rect.left) + "," +
              std::to_string(rect.top));
  report.note("recording into " + place.file);
  std::string whyNot;
  const std::unique_ptr<LauncherRun> run =
      startLauncherRun(setup.launcher, title, place.file, whyNot);
  if (run == nullptr) {
    report.fail("could not start " + shownPath(setup.launcher) + ": " + whyNot);
    removeOutput(report, place, setup.keep);
    return;
  }
  lines.follow(run->processId());
  const std::optional<Point> cursor = recordAndStop(report, *run, lines, place.file, rect);
  if (interrupted()) {
    endInterrupted(report, *run, place, setup.keep, /*stopSent=*/cursor.has_value());
    return;
  }
  const bool recorded = !report.failed();

  report.beginStep("The launcher's diagnostic lines");
  const std::vector<std::string> reasons = run->reasons();
  if (opening == DebugOutputReader::Opening::kOpened) {
    // The launcher's last line may still be in the buffer though it has exited.
    if (!reader.catchUp()) {
      report.note("the debug-output buffer was not handed back in time; lines may be missing");
    }
    const std::vector<std::string> texts = lines.texts();
    report.note("read from the debug-output buffer as they came, " + std::to_string(texts.size()) +
                " lines (shown in step 4)");
    if (reasons == texts) {
      report.pass("its standard error, handed over by the caller header, carried the same lines");
    } else {
      report.warn("its standard error carried " + std::to_string(reasons.size()) +
                      " lines, not the same as the debug output's",
                  "report this with the check's output: one of the two lost a line");
    }
    reportEncoderFinish(report, texts);
  } else if (!reasons.empty()) {
    report.note(std::string(opening == DebugOutputReader::Opening::kHeldByAnotherViewer
                                ? "another debug-output viewer holds the buffer"
                                : "the debug-output buffer could not be opened") +
                "; the lines from the launcher's standard error:");
    for (const std::string& reason : reasons) report.note("launcher says: " + reason);
    reportEncoderFinish(report, reasons);
  } else {
    report.notRun(opening == DebugOutputReader::Opening::kHeldByAnotherViewer
                      ? "another debug-output viewer holds the buffer, and the launcher's "
                        "standard error said nothing; close the viewer to see its lines here"
                      : "the debug-output buffer could not be opened, and the launcher's "
                        "standard error said nothing");
  }

  report.beginStep("The file, read back with the same ffmpeg.exe");
  if (recorded) {
    readBack(report, setup, place.file, rect, *cursor);
  } else {
    report.note("nothing to read back: the recording failed");
  }
  removeOutput(report, place, setup.keep);
}

}  // namespace zeltra::check
