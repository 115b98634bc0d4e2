// The check's --judge: the caller header's judgement of an output file as
// one line and an exit code, for callers in any language. Pure.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace zeltra::check {

enum class Judgement { kFinished, kUnfinished, kNotJudged, kMissing, kEmpty, kNotThisRun };

// Apart from every judgement's, so that a script tells a mistyped call from a verdict.
constexpr int kJudgeUsageExitCode = 64;

int judgementExitCode(Judgement judgement);
// "<verdict>: <why>", without the path: the line may go into a bug report.
std::string judgementLine(Judgement judgement);

// The output file as the caller noted it before the start: its size and
// its last-write FILETIME (100 ns units since 1601), both in decimal digits.
struct NotedFile {
  uint64_t size = 0;
  uint64_t lastWrite = 0;
};
std::optional<NotedFile> readNotedFile(const std::string& sizeCommaTime);

}  // namespace zeltra::check
