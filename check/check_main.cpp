// ZELTRA_ScreenTool_check.exe: proves, on the machine it runs on, the whole
// chain a caller relies on, and prints what it did step by step for a bug
// report, ending with one verdict. Exit code 0 when every step passed.
// Usage: ZELTRA_ScreenTool_check [--keep] [output folder]
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "check/check_steps.h"
#include "check/machine_facts.h"
#include "check/report.h"
#include "launcher/encoder_stop.h"
#include "version.h"

namespace {

using zeltra::check::CheckSetup;
using zeltra::check::Report;

// Lines come from the check's thread and from the debug-output reader's.
CRITICAL_SECTION printing;

void writeLine(const std::string& line);

void printLine(const std::string& line) {
  ::EnterCriticalSection(&printing);
  writeLine(line);
  ::LeaveCriticalSection(&printing);
}

// A console shows its own code page, not the ANSI one the paths are in: the
// line goes to it as wide text. Redirected, the bytes go as they are.
void writeLine(const std::string& line) {
  const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (::GetConsoleMode(out, &mode)) {
    const std::string text = line + "\r\n";
    std::wstring wide(text.size(), L'\0');
    const int length = ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                             wide.data(), static_cast<int>(wide.size()));
    DWORD written = 0;
    ::WriteConsoleW(out, wide.data(), static_cast<DWORD>(length), &written, nullptr);
    return;
  }
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

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
    zeltra::check::checkFramedWindow(report, setup);
  }
  printLine(report.verdict());
  return report.exitCode();
}

}  // namespace

int main(int argc, char** argv) {
  // Physical pixels, as the launcher and the encoder see the screen; the
  // manifest asks for this too, where it is read.
  ::SetProcessDPIAware();
  ::InitializeCriticalSection(&printing);
  CheckSetup setup;
  const std::string folder = zeltra::check::ownFolder();
  setup.launcher = folder + "ZELTRA_ScreenTool.exe";
  setup.encoder = folder + zeltra::kEncoderImageName;
  int exitCode = 1;
  if (readArguments(argc, argv, setup)) {
    exitCode = runCheck(setup);
  } else {
    printLine("usage: ZELTRA_ScreenTool_check [--keep] [output folder]");
  }
  waitIfConsoleIsOwn();
  return exitCode;
}
