#include "check/judge_command.h"

#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "caller/zeltra_screentool.h"
#include "check/file_judgement.h"

namespace zeltra::check {
namespace {

const char kUsage[] = "usage: ZELTRA_ScreenTool_check --judge FILE [--since SIZE,TIME]";

std::vector<std::wstring> wideArguments() {
  int count = 0;
  LPWSTR* arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  std::vector<std::wstring> all;
  if (arguments == nullptr) return all;
  for (int i = 1; i < count; ++i) all.emplace_back(arguments[i]);
  ::LocalFree(arguments);
  return all;
}

Judgement judgementOf(caller::OutputFile output) {
  switch (output) {
    case caller::OutputFile::kFinished:
      return Judgement::kFinished;
    case caller::OutputFile::kUnfinished:
      return Judgement::kUnfinished;
    case caller::OutputFile::kWritten:
      return Judgement::kNotJudged;
    case caller::OutputFile::kMissing:
      return Judgement::kMissing;
    case caller::OutputFile::kEmpty:
      return Judgement::kEmpty;
    case caller::OutputFile::kNotThisRun:
      return Judgement::kNotThisRun;
  }
  return Judgement::kNotJudged;
}

int finish(const std::string& line, int exitCode) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
  return exitCode;
}

}  // namespace

bool judgeRequested() {
  const std::vector<std::wstring> arguments = wideArguments();
  return !arguments.empty() && arguments[0] == L"--judge";
}

int runJudge() {
  const std::vector<std::wstring> arguments = wideArguments();
  // Without --since every file there counts as this run's: none was noted before.
  caller::detail::FileSnapshot before;
  if (arguments.size() == 4 && arguments[2] == L"--since") {
    const std::string noted(arguments[3].begin(), arguments[3].end());  // digits, if anything
    const std::optional<NotedFile> file =
        arguments[3].find_first_not_of(L"0123456789,") == std::wstring::npos ? readNotedFile(noted)
                                                                             : std::nullopt;
    if (!file) return finish(kUsage, kJudgeUsageExitCode);
    // 0,0: no file was there before (no file is 0 bytes from 1601).
    before.exists = file->size != 0 || file->lastWrite != 0;
    before.size = file->size;
    before.lastWrite = file->lastWrite;
  } else if (arguments.size() != 2 || arguments[1].empty()) {
    return finish(kUsage, kJudgeUsageExitCode);
  }
  const Judgement judgement = judgementOf(caller::detail::inspectOutput(arguments[1], before));
  return finish(judgementLine(judgement), judgementExitCode(judgement));
}

}  // namespace zeltra::check
