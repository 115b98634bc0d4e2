// The caller header's composing part: each refusal with its reason, the
// exact command lines it composes (their round trip is fuzzed), and the
// names and verdicts its results carry.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "caller/zeltra_screentool.h"
#include "launcher/output_path.h"

namespace zeltra::caller {
namespace {

using namespace std::string_view_literals;

constexpr std::wstring_view kLauncher = L"C:\\Tools\\ZELTRA_ScreenTool.exe";

// A code page holding the first 256 code points exactly, as 1252 holds its own.
bool heldInLatin1(std::wstring_view text) {
  return std::all_of(text.begin(), text.end(), [](wchar_t c) { return c < 0x100; });
}

detail::ComposedLine compose(std::wstring_view launcher, std::wstring_view title,
                             std::wstring_view path) {
  return detail::composeCommandLine(launcher, title, path, heldInLatin1);
}

// The shared cases (below) show what is refused for which fault; here are the
// refusals that need a code page or a long line, and the reason each one gives.
TEST(CallerHeaderTest, RefusesWhatTheLaunchersCodePageOrLineCannotHoldAndSaysWhy) {
  EXPECT_EQ(compose(kLauncher, L"\u0100", L"C:\\a.avi").refusal, Refusal::kNotInLaunchersCodePage);
  EXPECT_EQ(compose(kLauncher, L"T", L"C:\\\u2713.avi").refusal, Refusal::kNotInLaunchersCodePage);
  const detail::ComposedLine tooLong =
      compose(kLauncher, L"T", std::wstring(detail::kLongestCommandLine, L'a'));
  EXPECT_EQ(tooLong.refusal, Refusal::kCommandLineTooLong);
  EXPECT_EQ(tooLong.text, L"");
  const std::pair<Refusal, std::string_view> reasons[] = {
      {Refusal::kEmptyTitle, "title is empty"},
      {Refusal::kTitleHoldsHash, "title holds '#'"},
      {Refusal::kEmptyOutputPath, "output path is empty"},
      {Refusal::kOutputPathStartsWithHash, "begins with '#'"},
      {Refusal::kOutputPathHoldsDoubleQuote, "double quote"},
      {Refusal::kHoldsNul, "NUL"},
      {Refusal::kEmptyLauncherPath, "launcher's path is empty"},
      {Refusal::kLauncherPathHoldsDoubleQuote, "quoted name"},
      {Refusal::kNotInLaunchersCodePage, "cannot hold"},
      {Refusal::kCommandLineTooLong, "32767"},
  };
  for (const auto& [refusal, mentions] : reasons) {
    EXPECT_NE(std::string_view(refusalReason(refusal)).find(mentions), std::string::npos)
        << refusalReason(refusal);
  }
}

TEST(CallerHeaderTest, TheHeaderAndTheLauncherRefuseTheSameOutputPaths) {
  using Fault = OutputPathFault;
  const struct {
    std::string_view path;
    Fault fault;
  } cases[] = {
      // Files: local, drive-relative, relative (beginning below '-'), long-form
      // and UNC paths, and names whose ':' comes after a separator.
      {"C:\\rec\\clip.avi", Fault::kNone},
      {"C:clip.avi", Fault::kNone},
      {"c://rec//clip.avi", Fault::kNone},
      {"(1) clip.avi", Fault::kNone},
      {"\\\\?\\C:\\x.avi", Fault::kNone},
      {"\\\\server\\share\\x.avi", Fault::kNone},
      {"rec\\a:b.avi", Fault::kNone},
      {"a b:c", Fault::kNone},
      // Protocols: a run of letters, digits, '+', '-', '.' before ':', not one letter.
      {"tcp://192.0.2.1:9", Fault::kNamesAProtocol},
      {"clip.avi:s", Fault::kNamesAProtocol},
      {"a+b-c.d:x", Fault::kNamesAProtocol},
      {"1:x", Fault::kNamesAProtocol},
      {"ab:x", Fault::kNamesAProtocol},
      {":x", Fault::kNamesAProtocol},
      {"-y.avi", Fault::kReadsAsAnOption},
      {"C:\\a\"b", Fault::kHoldsDoubleQuote},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(findOutputPathFault(c.path), c.fault) << c.path;
    const Refusal expected = c.fault == Fault::kNone             ? Refusal::kNone
                             : c.fault == Fault::kNamesAProtocol ? Refusal::kOutputPathNamesProtocol
                             : c.fault == Fault::kReadsAsAnOption
                                 ? Refusal::kOutputPathReadsAsOption
                                 : Refusal::kOutputPathHoldsDoubleQuote;
    const std::wstring path(c.path.begin(), c.path.end());
    EXPECT_EQ(compose(kLauncher, L"T", path).refusal, expected) << c.path;
  }
}

// The cases every client of the protocol shares (tests/caller/caller_vectors.tsv):
// a field's UTF-8, with \\, \t, \0 and \uXXXX for what a line cannot hold.
std::wstring unescaped(std::string_view field) {
  std::wstring text;
  for (size_t i = 0; i < field.size(); ++i) {
    const auto byte = static_cast<unsigned char>(field[i]);
    if (byte == '\\') {
      const char next = field.at(++i);
      if (next == 'u') {
        text += static_cast<wchar_t>(std::stoul(std::string(field.substr(i + 1, 4)), nullptr, 16));
        i += 4;
      } else {
        text += next == 't' ? L'\t' : next == '0' ? L'\0' : static_cast<wchar_t>(next);
      }
    } else if (byte < 0x80) {
      text += static_cast<wchar_t>(byte);
    } else {  // two or three bytes: the vectors stay in the first plane
      const int more = byte >= 0xE0 ? 2 : 1;
      unsigned code = byte & (more == 2 ? 0x0F : 0x1F);
      for (int k = 0; k < more; ++k) code = code << 6 | (field.at(++i) & 0x3F);
      text += static_cast<wchar_t>(code);
    }
  }
  return text;
}

// A token as the refusal's own name: title-holds-hash is kTitleHoldsHash.
std::string enumeratorName(std::string_view token) {
  std::string name = "k";
  for (size_t i = 0; i < token.size(); ++i) {
    const bool first = i == 0 || token[i - 1] == '-';
    if (token[i] != '-') name += first ? static_cast<char>(token[i] - 'a' + 'A') : token[i];
  }
  return name;
}

TEST(CallerHeaderTest, ComposesAndRefusesTheSharedCasesAsEveryClientDoes) {
  std::ifstream file(ZELTRA_CALLER_VECTORS);
  ASSERT_TRUE(file.good());
  int cases = 0;
  for (std::string line; std::getline(file, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::wstring> fields;
    for (size_t start = 0, tab = 0; tab != std::string::npos; start = tab + 1) {
      tab = line.find('\t', start);
      fields.push_back(unescaped(std::string_view(line).substr(start, tab - start)));
    }
    ASSERT_EQ(fields.size(), 4u) << line;
    ++cases;
    const detail::ComposedLine composed = detail::composeCommandLine(
        fields[0], fields[1], fields[2], [](std::wstring_view) { return true; });
    const std::string refused = "refused:" + enumeratorName(toString(composed.refusal));
    const std::wstring got = composed.refusal == Refusal::kNone
                                 ? composed.text
                                 : std::wstring(refused.begin(), refused.end());
    EXPECT_EQ(got, fields[3]) << line;
  }
  EXPECT_GT(cases, 40);
}

// The conversion to the launcher's code page, which the machine check uses
// too. Windows fails it outright in code page 65001 (UTF-8) when it is given
// WC_NO_BEST_FIT_CHARS (0x400) or asked to report the default character; every
// other code page a system can have as its ANSI one needs both to see a loss.
TEST(CallerHeaderTest, ChoosesTheConversionFlagsEachSystemCodePageTakes) {
  EXPECT_EQ(detail::narrowingFlags(65001).flags, 0u);
  EXPECT_FALSE(detail::narrowingFlags(65001).reportsDefaultCharacter);
  EXPECT_EQ(detail::narrowingFlags(1252).flags, 0x400u);
  EXPECT_TRUE(detail::narrowingFlags(1252).reportsDefaultCharacter);
}

// Every value of each enum, in order, with its token. A value added without
// a token fails the build (toString's switch); one with a token but without
// its row here fails below, as the value past the last row is no "unknown".
using Tokens = std::initializer_list<std::string_view>;
const Tokens kStopOutcomes = {"stopped", "ended-before-stop", "stop-not-accepted", "not-exited",
                              "no-launcher"};
const Tokens kOutputFiles = {"missing",      "empty",      "written",
                             "not-this-run", "unfinished", "finished"};
const Tokens kEncodersAtStop = {"not-known", "running", "none"};

template <class Enum>
void expectTokens(const Tokens& tokens) {
  std::set<std::string_view> seen;
  int value = 0;
  for (const std::string_view token : tokens) {
    const std::string_view named = toString(static_cast<Enum>(value++));
    EXPECT_EQ(named, token);
    EXPECT_TRUE(!named.empty() && named != "unknown" && seen.insert(named).second) << named;
  }
  EXPECT_STREQ(toString(static_cast<Enum>(value)), "unknown") << tokens.begin()[0];
}

TEST(CallerHeaderTest, NamesEveryValueOfEveryEnumWithItsOwnToken) {
  expectTokens<Refusal>({"none", "empty-title", "title-holds-hash", "empty-output-path",
                         "output-path-starts-with-hash", "output-path-holds-double-quote",
                         "output-path-names-protocol", "output-path-reads-as-option", "holds-nul",
                         "empty-launcher-path", "launcher-path-holds-double-quote",
                         "not-in-callers-code-page", "not-in-launchers-code-page",
                         "command-line-too-long"});
  expectTokens<StartOutcome>({"started", "refused", "failed"});
  expectTokens<LauncherJob>({"own", "own-nested", "broke-away", "callers-only", "none"});
  expectTokens<ControlWindowState>({"appeared", "launcher-ended", "not-yet"});
  expectTokens<RecordingState>({"begun", "encoder-ended", "launcher-ended", "not-yet"});
  expectTokens<EncoderAtStop>(kEncodersAtStop);
  expectTokens<StopOutcome>(kStopOutcomes);
  expectTokens<OutputFile>(kOutputFiles);
  expectTokens<StopRequestState>(
      {"kept", "posted", "accepted", "post-refused", "ended-before-stop", "no-launcher"});
  expectTokens<detail::ContainerFinish>({"not-judged", "unfinished", "finished"});
}

// Of every stop's outcome, file and encoder, one alone vouches for the file.
TEST(CallerHeaderTest, CoversTheRecordingOnlyWhenARunningEncoderClosedThisRunsFileOnTheStop) {
  int covering = 0;
  for (int outcome = 0; outcome < static_cast<int>(kStopOutcomes.size()); ++outcome) {
    for (int output = 0; output < static_cast<int>(kOutputFiles.size()); ++output) {
      for (int encoder = 0; encoder < static_cast<int>(kEncodersAtStop.size()); ++encoder) {
        const auto o = static_cast<StopOutcome>(outcome);
        const auto f = static_cast<OutputFile>(output);
        const auto e = static_cast<EncoderAtStop>(encoder);
        if (!detail::coversTheRecording(o, f, e)) continue;
        ++covering;
        EXPECT_EQ(std::string(toString(o)) + " " + toString(f) + " " + toString(e),
                  "stopped finished running");
      }
    }
  }
  EXPECT_EQ(covering, 1);
}

TEST(CallerHeaderTest, TheLaunchersReasonsAreItsWholeLinesWithoutTheirPrefix) {
  std::string written = "ZELTRA_ScreenTool: one\r\nZELTRA_ScreenTool: two\nZELTRA_ScreenTool: thr";
  std::vector<std::string> lines;
  detail::takeReasonLines(written, /*toTheEnd=*/false, lines);
  EXPECT_EQ(lines, (std::vector<std::string>{"one", "two"}));
  EXPECT_EQ(written, "ZELTRA_ScreenTool: thr") << "a line still being written waits";
  written += "ee";
  detail::takeReasonLines(written, /*toTheEnd=*/true, lines);
  EXPECT_EQ(lines.back(), "three");
  EXPECT_EQ(written, "");
}

}  // namespace
}  // namespace zeltra::caller
