#include "launcher/program_name_skip.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/unit/fake_platform.h"

namespace zeltra {
namespace {

// Each byte as the character of that number, as code page 1252 widens all
// but its 0x80 to 0x9F.
std::wstring widenedLatin1(const std::string& text) {
  std::wstring wide;
  for (const char c : text) wide += static_cast<wchar_t>(static_cast<unsigned char>(c));
  return wide;
}

TEST(ProgramNameSkipTest, LeavesExactlyTheInvocation) {
  const struct {
    const char* commandLine;
    const char* invocation;
  } cases[] = {
      {"\"C:\\Tools\\Z.exe\" Demo#C:\\rec\\#a.avi", "Demo#C:\\rec\\#a.avi"},
      {"C:\\Tools\\Z.exe Demo#x", "Demo#x"},
      {"\"C:\\Program Files\\Z.exe\" Demo#x", "Demo#x"},
      {"\"C:\\Program Files\\Z.exe Demo#x", ""},  // no closing quote: all of it is the name
      {"Z.exe\tDemo#x", "Demo#x"},
      {"\"Z.exe\"\t \x01\x1f Demo#x", "Demo#x"},
      {"\"Z.exe\"Demo#x", "Demo#x"},
      {"\"Z.exe\" \xC4pfel Fenster#x", "\xC4pfel Fenster#x"},
      {"Z.exe \xD6l#x", "\xD6l#x"},
      {"Z.exe \xA0#x", "\xA0#x"},
      {"C:\\\xC4pfel\\Z.exe \xFF#x", "\xFF#x"},  // not cut at the name's first such byte
      {"\"C:\\\xC4pfel\\Z.exe\" Demo#x", "Demo#x"},
      {"\xC4.exe Demo#x", "Demo#x"},  // such a byte first is no quote
      {"Z.exe  Demo  #x  ", "Demo  #x  "},
      {"", ""},
      {"Z.exe", ""},
      {"\"Z.exe\"", ""},
      {"Z.exe   ", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(std::string(skipProgramName(c.commandLine)), c.invocation) << c.commandLine;
    // The same rule on the wide line: no character of 0x80 or more is a blank
    // or a quote there either.
    const std::wstring wide = widenedLatin1(c.commandLine);
    EXPECT_EQ(std::wstring(skipProgramName(wide.c_str())), widenedLatin1(c.invocation))
        << c.commandLine;
  }
}

TEST(ProgramNameSkipTest, TheInvocationComesFromTheWideLineInTheAnsiCodePage) {
  // The fake's code page holds Latin-1 and makes every other character "?".
  const struct {
    const wchar_t* commandLine;
    const char* invocation;
  } cases[] = {
      // A folder the code page cannot hold, quoted and not.
      {L"\"C:\\\u0141\u00F3d\u017A \u015Al\u0119\u017Ca\\Z.exe\" Demo#C:\\a.avi", "Demo#C:\\a.avi"},
      {L"C:\\\u0141\u00F3d\u017A\\Z.exe Caf\u00E9#x", "Caf\xE9#x"},
      // What follows the name is converted whole, as the ANSI line held it.
      {L"Z.exe \u0141\u00F3d\u017A#C:\\\u00C4\\a.avi",
       "?\xF3"
       "d?#C:\\\xC4\\a.avi"},
      {L"\"Z.exe\"\t \u00A0#x", "\xA0#x"},
      {L"\"Z.exe\"  \"Demo#x\" ", "\"Demo#x\" "},
      {L"\"C:\\\u0141\\Z.exe\"", ""},
  };
  for (const auto& c : cases) {
    testing::FakePlatform platform;
    const auto toAnsi = [&platform](const std::wstring& text) {
      return platform.toAnsiCodePage(text);
    };
    EXPECT_EQ(invocationFromWideCommandLine(c.commandLine, toAnsi), c.invocation) << c.invocation;
  }
}

}  // namespace
}  // namespace zeltra
