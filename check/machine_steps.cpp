// Steps 1 to 3: what the machine is, what would disturb a recording, and
// whether the encoder can record a window (see check_steps.h).
#include <windows.h>

#include "check/check_steps.h"
#include "check/child_process.h"
#include "check/encoder_answers.h"
#include "check/encoder_dpi.h"
#include "check/interruption.h"
#include "check/machine_facts.h"
#include "launcher/stop.h"
#include "platform/window_frame.h"
#include "version.h"

namespace zeltra::check {
namespace {

// How long the encoder may take to answer a question; a first start under a
// virus scanner can take a few seconds.
constexpr uint32_t kAnswerLimitMs = 10000;

bool fileExists(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::string bits(int count) {
  return count == 0 ? "of unknown build" : std::to_string(count) + "-bit build";
}

// Asks the encoder a question; false, reported, when it gave no answer, and
// false alone when the check was interrupted meanwhile.
bool ask(Report& report, const CheckSetup& setup, const std::string& question, ProgramRun& run) {
  run = runProgram(setup.encoder, question, kAnswerLimitMs, interruptionEvent());
  if (run.interrupted) return false;
  if (!run.started) {
    report.fail("ffmpeg.exe could not be started (error " + std::to_string(run.startError) + ")",
                "check that " + shownPath(setup.encoder) +
                    " is a Windows build of FFmpeg for this machine");
    return false;
  }
  if (run.timedOut) {
    report.fail("ffmpeg.exe did not answer \"" + question + "\" within " +
                    std::to_string(kAnswerLimitMs / 1000) + " s; ended it",
                "run \"" + shownPath(setup.encoder) + "\" " + question +
                    " by hand to see what holds it up");
    return false;
  }
  return true;
}

// Asks the encoder about the one component the launcher uses; true when it
// describes it. An answer that neither describes it nor denies it is shown.
bool requireDescribed(Report& report, const CheckSetup& setup, Component component,
                      const std::string& name, const std::string& what) {
  const std::string question = helpQuestion(component, name);
  ProgramRun run;
  if (!ask(report, setup, question, run)) return false;
  switch (readHelpAnswer(run.output + run.errors, component, name)) {
    case HelpAnswer::kDescribes:
      report.pass("it has the " + name + " " + what);
      return true;
    case HelpAnswer::kUnknown:
      report.fail(
          "ffmpeg.exe has no " + name + " " + what,
          "place an FFmpeg build with " + name + " beside the launcher: " + buildsCarrying(name));
      return false;
    case HelpAnswer::kUnclear:
      break;
  }
  const std::string answer = versionLine(run.output + run.errors);
  report.fail(
      "ffmpeg.exe's answer to \"" + question + "\" neither describes the " + name + " " + what +
          " nor says it lacks it: " + (answer.empty() ? "no answer" : answer),
      "run \"" + shownPath(setup.encoder) + "\" " + question + " by hand and attach its answer");
  return false;
}

}  // namespace

bool reportEnvironment(Report& report, const CheckSetup& setup) {
  report.beginStep("The environment");
  report.note("check: version " ZELTRA_VERSION_TEXT ", " + bits(sizeof(void*) * 8));
  if (!fileExists(setup.launcher)) {
    report.fail("no ZELTRA_ScreenTool.exe beside the check (" + shownPath(setup.launcher) + ")",
                "run the check from the folder the launcher is installed in");
    return false;
  }
  const std::string version = fileVersion(setup.launcher);
  report.note("launcher: " + shownPath(setup.launcher) + ", version " +
              (version.empty() ? "unknown" : version) + ", " + bits(programBits(setup.launcher)));
  report.note("Windows " + windowsVersion() + " (RtlGetVersion)");
  report.note("display scale " + std::to_string(displayScalePercent()) + "%");
  const std::optional<std::string> wine = wineVersion();
  report.note(wine ? "running under Wine " + *wine : "not running under Wine");
  return true;
}

bool checkDisturbances(Report& report, CheckSetup& setup) {
  report.beginStep("What would disturb a recording");
  const std::vector<RunningProcess> running = findProcesses(kEncoderImageName);
  if (!running.empty()) {
    report.fail("an ffmpeg.exe is running (process " + std::to_string(running.front().id) +
                    "): the launcher's stop command would end it too",
                "let it finish, or end it, and run the check again");
    return false;
  }
  report.pass("no ffmpeg.exe is running");
  if (const std::optional<std::string> zone = zoneIdentifier(setup.encoder)) {
    report.warn(
        "ffmpeg.exe was downloaded from the internet (it has a Zone.Identifier stream): "
        "the launcher starts it without the shell's download check, but Windows may warn "
        "when this check starts it",
        "in PowerShell: Unblock-File -Path '" + shownPath(setup.encoder) + "'");
  } else {
    report.pass("ffmpeg.exe is not marked as downloaded (no Zone.Identifier stream)");
  }
  const TemporaryFolder temporary = temporaryFolder();
  setup.temporaryFolder = temporary.path;
  const std::string codePage = "the ANSI code page (" + std::to_string(ansiCodePage()) + ")";
  if (temporary.unwritablePath.empty()) {
    report.pass("the temporary folder " + temporary.path + " can be written in " + codePage);
  } else {
    report.warn("the temporary folder " + temporary.unwritablePath + " cannot be written in " +
                codePage + "; using " + temporary.path);
  }
  return true;
}

// A warning, not a failure: an encoder that is not DPI aware still records
// on a display of 100%, and on one scaled where every monitor lies right of
// and below the primary.
void reportEncoderDpi(Report& report, const CheckSetup& setup) {
  const std::optional<std::string> manifest = manifestOf(setup.encoder);
  const std::optional<std::string> layers = compatibilityLayersOf(setup.encoder);
  const EncoderDpi dpi = encoderDpi(manifest, layers);
  const int scale = displayScalePercent();
  if (dpi.awareness != DpiAwareness::kUnaware) {
    report.pass("it is DPI aware (" + dpi.from + ")");
  } else if (scale <= 100) {
    report.note("it is not DPI aware (" + dpi.from +
                "), which changes nothing at a display "
                "scale of " +
                std::to_string(scale) + "%");
  } else {
    report.warn("it is not DPI aware (" + dpi.from + ") and the display is scaled to " +
                    std::to_string(scale) +
                    "%: it refuses to record a window on a monitor left "
                    "of or above the primary one (\"extends outside window area\"), and draws "
                    "the cursor off its place",
                "use an FFmpeg build whose manifest says it is DPI aware, or set ffmpeg.exe's "
                "compatibility setting \"Override high DPI scaling\" to Application");
  }
}

bool checkEncoder(Report& report, const CheckSetup& setup) {
  report.beginStep("The encoder");
  if (!fileExists(setup.encoder)) {
    report.fail("no ffmpeg.exe beside the launcher (" + shownPath(setup.encoder) + ")",
                "place an FFmpeg build with gdigrab and libxvid there as ffmpeg.exe");
    return false;
  }
  ProgramRun run;
  if (!ask(report, setup, "-version", run)) return false;
  const std::string line = versionLine(run.output);
  report.pass(shownPath(setup.encoder) + ": " + (line.empty() ? "gave no version line" : line));
  const bool hasInput = requireDescribed(report, setup, Component::kDemuxer, "gdigrab", "input");
  if (interrupted()) return false;
  const bool hasEncoder =
      requireDescribed(report, setup, Component::kEncoder, "libxvid", "encoder");
  reportEncoderDpi(report, setup);
  return hasInput && hasEncoder;
}

}  // namespace zeltra::check
