// ZELTRA_ScreenTool_check.exe: proves, on the machine it runs on, the whole
// chain a caller relies on, and prints what it did step by step for a bug
// report, ending with one verdict. Exit code 0 when every step passed.
// Usage: ZELTRA_ScreenTool_check [--keep] [output folder]
//        ZELTRA_ScreenTool_check --judge FILE [--since SIZE,TIME]
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "check/check_steps.h"
#include "check/console_printer.h"
#include "check/interruption.h"
#include "check/judge_command.h"
#include "check/machine_facts.h"
#include "check/report.h"
#include "launcher/stop.h"
#include "platform/ansi_text.h"
#include "platform/system_library.h"
#include "version.h"

namespace {

using zeltra::check::CheckSetup;
using zeltra::check::printLine;
using zeltra::check::Report;

// How long the lines still queued at the end may take to reach the console:
// a console held by a text selection for longer loses the rest of them; the
// exit code still gives the verdict.
constexpr uint32_t kLastLinesLimitMs = 5000;

// Started from Explorer, the check is alone on a console of its own, which
// closes with it: it waits so that its report can be read and copied.
void waitIfConsoleIsOwn() {
  DWORD processes[2];
  DWORD mode = 0;
  if (::GetConsoleProcessList(processes, 2) != 1 ||
      !::GetConsoleMode(::GetStdHandle(STD_INPUT_HANDLE), &mode)) {
    return;
  }
  printLine("Press Enter to close this window.");
  zeltra::check::finishPrinting(kLastLinesLimitMs);
  char ignored[16];
  DWORD read = 0;
  ::ReadConsoleA(::GetStdHandle(STD_INPUT_HANDLE), ignored, sizeof ignored, &read, nullptr);
}

bool readArguments(int argc, char** argv, CheckSetup& setup) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--keep") == 0) {
      setup.keep = true;
    } else if (argv[i][0] != '-' && setup.outputFolder.empty()) {
      setup.outputFolder = argv[i];
      if (setup.outputFolder.back() != '\\') setup.outputFolder += '\\';
    } else {
      return false;
    }
  }
  return true;
}

int runCheck(CheckSetup& setup) {
  Report report(printLine);
  printLine("ZELTRA_ScreenTool_check " ZELTRA_VERSION_TEXT
            ": records a test window through ZELTRA_ScreenTool.exe to prove this machine "
            "can record");
  const bool goOn = zeltra::check::reportEnvironment(report, setup) &&
                    zeltra::check::checkDisturbances(report, setup) &&
                    zeltra::check::checkEncoder(report, setup);
  if (goOn) {
    zeltra::check::checkRecording(report, setup);
    if (!zeltra::check::interrupted()) zeltra::check::checkFramedWindow(report, setup);
  }
  if (zeltra::check::interrupted() && !report.interrupted()) {
    report.interrupt(zeltra::check::interruption() == zeltra::check::Interruption::kConsoleClosing
                         ? "interrupted: the console is closing"
                         : "interrupted by Ctrl+C");
  }
  printLine(report.verdict());
  return report.exitCode();
}

}  // namespace

int main(int argc, char** argv) {
  // First thing: every DLL loaded from here on comes from the system
  // directory, not from the folder the check was saved in.
  zeltra::restrictDllSearchToSystemDirectory();
  if (zeltra::check::judgeRequested()) return zeltra::check::runJudge();
  // Physical pixels, as the launcher and the encoder see the screen; the
  // manifest asks for this too, where it is read.
  ::SetProcessDPIAware();
  zeltra::check::startPrinting();
  zeltra::check::watchForInterruption();
  CheckSetup setup;
  const std::wstring folder = zeltra::check::ownFolder();
  setup.launcher = folder + L"ZELTRA_ScreenTool.exe";
  setup.encoder = folder + zeltra::widenFromAnsi(zeltra::kEncoderImageName);
  int exitCode = 1;
  if (readArguments(argc, argv, setup)) {
    exitCode = runCheck(setup);
  } else {
    printLine("usage: ZELTRA_ScreenTool_check [--keep] [output folder]");
    printLine("       ZELTRA_ScreenTool_check --judge FILE [--since SIZE,TIME]");
  }
  // From here Ctrl+C ends the check at once, as it does any console program.
  zeltra::check::stopWatchingForInterruption();
  if (!zeltra::check::interrupted()) waitIfConsoleIsOwn();
  zeltra::check::finishPrinting(kLastLinesLimitMs);
  zeltra::check::interruptionHandled();
  return exitCode;
}
