// The texts the launcher reads and composes: the command line's program
// name, numbers, the encoder's path and parameter line (round-tripped through
// an independent argument decoder), and the command interpreter's line. The
// invocation's split is fuzzed against its rule (tests/fuzz/invocation_fuzz.cpp).
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "launcher/decimal_text.h"
#include "launcher/encoder_command.h"
#include "launcher/encoder_finish.h"
#include "platform/command_line.h"
#include "platform/interpreter_command.h"
#include "tests/unit/desktop.h"
#include "tests/unit/windows_argv.h"

namespace zeltra {
namespace {

std::wstring widened(const std::string& text) {
  std::wstring wide;
  for (const char c : text) wide += static_cast<wchar_t>(static_cast<unsigned char>(c));
  return wide;
}

TEST(CommandLineTest, LeavesExactlyTheInvocationAfterTheProgramName) {
  const struct {
    const char* commandLine;
    const char* invocation;
  } cases[] = {
      {"\"C:\\Program Files\\Z.exe\" Demo#C:\\rec\\#a.avi", "Demo#C:\\rec\\#a.avi"},
      {"C:\\Tools\\Z.exe Demo#x", "Demo#x"},
      {"\"C:\\Program Files\\Z.exe Demo#x", ""},  // no closing quote: all of it is the name
      {"\"Z.exe\"\t \x01\x1f Demo#x", "Demo#x"},
      {"\"Z.exe\"Demo#x", "Demo#x"},
      // A byte of 0x80 or more is no blank, in the name or after it.
      {"Z.exe \xA0\xC4pfel#x", "\xA0\xC4pfel#x"},
      {"C:\\\xC4pfel\\Z.exe \xFF#x", "\xFF#x"},
      {"Z.exe  Demo  #x  ", "Demo  #x  "},
      {"Z.exe", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(std::string(skipProgramName(c.commandLine)), c.invocation) << c.commandLine;
    const std::wstring wide = widened(c.commandLine);
    EXPECT_EQ(std::wstring(skipProgramName(wide.c_str())), widened(c.invocation)) << c.commandLine;
  }
}

TEST(FinishKeyTest, ReadsBackWhatItWritesAndNothingElse) {
  for (const EncoderFinish finish :
       {EncoderFinish::kStopCommand, EncoderFinish::kCtrlC, EncoderFinish::kEnded,
        EncoderFinish::kExitedAtLimit, EncoderFinish::kNotEnded, EncoderFinish::kOnItsOwn}) {
    for (const std::optional<uint32_t> ms : {std::optional<uint32_t>{}, {0u}, {4294967295u}}) {
      const std::optional<FinishKey> key =
          readFinishKey("the words, whatever they are" + formatFinishKey({finish, ms}));
      ASSERT_TRUE(key) << finishKeyName(finish);
      EXPECT_EQ(key->finish, finish);
      EXPECT_EQ(key->msAfterStopCommand, ms);
    }
  }
  for (const char* line :
       {"the encoder finished", "x [finish=ctrl-c", "x [finish=ctrl-c ms=]", "x [finish=soon]",
        "x [finish=ctrl-c ms=12a]", "x [finish=ctrl-c ms=4294967296]", "x [finish=ctrl-c] and more",
        "x [finish=ctrl-c)"}) {
    EXPECT_EQ(readFinishKey(line), std::nullopt) << line;
  }
}

TEST(DecimalTextTest, WritesDigitsAndAMinusOnly) {
  EXPECT_EQ(formatDecimal(0), "0");
  EXPECT_EQ(formatDecimal(-100), "-100");
  EXPECT_EQ(formatDecimal(INT64_MIN), "-9223372036854775808");
  EXPECT_EQ(formatExitCode(1), "1");
  EXPECT_EQ(formatExitCode(0x7FFFFFFF), "2147483647");
  EXPECT_EQ(formatExitCode(0xC0000005u), "3221225477 (0xC0000005)");
  EXPECT_EQ(formatCodePoint(0x41), "U+0041");
  EXPECT_EQ(formatCodePoint(0x1F600), "U+1F600");
}

TEST(EncoderCommandTest, TheEncoderLiesInTheLaunchersOwnFolder) {
  const std::pair<std::wstring, std::wstring> cases[] = {
      {L"C:\\Tools\\rec.exe", L"C:\\Tools\\ffmpeg.exe"},
      {L"C:\\a/b\\c/rec.exe", L"C:\\a/b\\c\\ffmpeg.exe"},  // the last separator, either kind
      {L"rec.exe", L"rec.exe\\ffmpeg.exe"},
      {L"", L"\\ffmpeg.exe"},
  };
  for (const auto& [modulePath, expected] : cases) {
    EXPECT_EQ(encoderPathFor(modulePath), expected);
  }
}

TEST(EncoderCommandTest, TheParameterLineIsExactAndParsesBackIntoThePath) {
  const CaptureTarget region{nullptr, "0", "10", "800", "588"};
  const std::wstring options =
      L"-y -rtbufsize 100M -f gdigrab -framerate 30 -offset_x 0 -offset_y 10 -video_size 800x588 "
      L"-draw_mouse 1 -i desktop -c:v libxvid -r 30 -qscale:v 10 ";
  // Trailing backslashes stand before the closing quote: doubled; all others stay single.
  const std::pair<std::wstring, std::wstring> quoted[] = {
      {L"C:\\rec\\clip.avi", L"\"C:\\rec\\clip.avi\""},
      {L"C:\\rec\\", L"\"C:\\rec\\\\\""},
      {L"\\\\srv\\share\\a b.avi", L"\"\\\\srv\\share\\a b.avi\""},
      {L"\\\\", L"\"\\\\\\\\\""},
  };
  for (const auto& [path, quotedPath] : quoted) {
    const std::wstring line = buildEncoderParameters(region, path);
    EXPECT_EQ(line, options + quotedPath);
    EXPECT_EQ(testing::splitWindowsArguments(line),
              testing::expectedEncoderArguments(L"0", L"10", L"800x588", path));
  }
}

TEST(InterpreterCommandTest, SkipsAutoRunForCmdInAnyCaseAndOnlyForCmd) {
  const std::pair<const char*, const char*> cases[] = {
      {"C:\\WINDOWS\\SYSTEM32\\CMD.EXE", "\"C:\\WINDOWS\\SYSTEM32\\CMD.EXE\" /d /c taskkill"},
      {"D:/tools/Cmd.Exe", "\"D:/tools/Cmd.Exe\" /d /c taskkill"},
      {"C:\\Tools\\mycmd.exe", "\"C:\\Tools\\mycmd.exe\" /c taskkill"},
      {"C:\\cmd.exe\\sh.exe", "\"C:\\cmd.exe\\sh.exe\" /c taskkill"},
  };
  for (const auto& [interpreter, line] : cases) {
    EXPECT_EQ(interpreterCommandLine(interpreter, "taskkill"), line) << interpreter;
  }
}

}  // namespace
}  // namespace zeltra
