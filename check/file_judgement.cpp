#include "check/file_judgement.h"

namespace zeltra::check {
namespace {

std::optional<uint64_t> readDecimal(const std::string& digits) {
  if (digits.empty() || digits.size() > 20) return std::nullopt;
  uint64_t value = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    const uint64_t digit = static_cast<uint64_t>(c - '0');
    if (value > (UINT64_MAX - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

}  // namespace

int judgementExitCode(Judgement judgement) {
  switch (judgement) {
    case Judgement::kFinished:
      return 0;
    case Judgement::kUnfinished:
      return 1;
    case Judgement::kNotJudged:
      return 2;
    case Judgement::kMissing:
    case Judgement::kEmpty:
      return 3;
    case Judgement::kNotThisRun:
      return 4;
  }
  return 2;
}

std::string judgementLine(Judgement judgement) {
  switch (judgement) {
    case Judgement::kFinished:
      return "finished: closed by the encoder; take it";
    case Judgement::kUnfinished:
      return "unfinished: written, but never closed by the encoder (ended, or cut short)";
    case Judgement::kNotJudged:
      return "not-judged: not an AVI file, one past the judge's bounds, or one that could not "
             "be read";
    case Judgement::kMissing:
      return "missing: no such file";
    case Judgement::kEmpty:
      return "empty: 0 bytes";
    case Judgement::kNotThisRun:
      return "not-this-run: its size and last-write time are as noted before the start";
  }
  return "not-judged";
}

std::optional<NotedFile> readNotedFile(const std::string& sizeCommaTime) {
  const size_t comma = sizeCommaTime.find(',');
  if (comma == std::string::npos) return std::nullopt;
  const std::optional<uint64_t> size = readDecimal(sizeCommaTime.substr(0, comma));
  const std::optional<uint64_t> lastWrite = readDecimal(sizeCommaTime.substr(comma + 1));
  if (!size || !lastWrite) return std::nullopt;
  return NotedFile{*size, *lastWrite};
}

}  // namespace zeltra::check
