#include "launcher/encoder_command.h"

#include <gtest/gtest.h>

#include "tests/unit/windows_argv.h"

namespace zeltra {
namespace {

// Code page 932: lead bytes 0x81-0x9F and 0xE0-0xFC. "\x83\x5C" is one
// character whose second byte is the backslash's.
const LeadByteTest kShiftJis = [](uint8_t b) { return (b >= 0x81 && b <= 0x9F) || b >= 0xE0; };
const LeadByteTest kSingleByte = [](uint8_t) { return false; };

CaptureTarget region(const char* x, const char* y, const char* w, const char* h) {
  return CaptureTarget{nullptr, x, y, w, h};
}

TEST(EncoderPathTest, ReplacesTheFileNameAfterTheLastSeparator) {
  const std::pair<std::wstring, std::wstring> cases[] = {
      {L"C:\\Tools\\rec.exe", L"C:\\Tools\\ffmpeg.exe"},
      {L"C:/Tools/rec.exe", L"C:/Tools\\ffmpeg.exe"},
      {L"C:\\a/b\\c/rec.exe", L"C:\\a/b\\c\\ffmpeg.exe"},
      {L"rec.exe", L"rec.exe\\ffmpeg.exe"},
      {L"", L"\\ffmpeg.exe"},
      {L"\\\\server\\share\\rec.exe", L"\\\\server\\share\\ffmpeg.exe"},
      {L"C:\\" + std::wstring(400, L'd') + L"\\rec.exe",
       L"C:\\" + std::wstring(400, L'd') + L"\\ffmpeg.exe"},
      // A folder code page 1252 cannot hold, and one whose character ends, in
      // code page 932, in the backslash's byte.
      {L"C:\\\u0141\u00F3d\u017A \u015Al\u0119\u017Ca\\rec.exe",
       L"C:\\\u0141\u00F3d\u017A \u015Al\u0119\u017Ca\\ffmpeg.exe"},
      {L"C:\\\u30BD\\rec.exe", L"C:\\\u30BD\\ffmpeg.exe"},
  };
  for (const auto& [modulePath, expected] : cases) {
    EXPECT_EQ(encoderPathFor(modulePath), expected) << modulePath.size();
  }
}

TEST(EncoderParametersTest, ComposesTheExactLine) {
  EXPECT_EQ(
      buildEncoderParameters(region("0", "10", "800", "588"), "C:\\rec\\", "clip.avi", kSingleByte),
      "-y -rtbufsize 100M -f gdigrab -framerate 30 -offset_x 0 -offset_y 10 "
      "-video_size 800x588 -draw_mouse 1 -i desktop -c:v libxvid -r 30 -qscale:v 10 "
      "\"C:\\rec\\clip.avi\"");
}

TEST(EncoderParametersTest, QuotesThePathAsGiven) {
  const CaptureTarget target = region("-4", "0", "-100", "0");
  const struct {
    const char* head;
    const char* tail;
    const char* quoted;
  } cases[] = {
      {"C:\\rec\\clip.avi", "", "\"C:\\rec\\clip.avi\""},
      {"C:\\rec\\", "a#b.avi", "\"C:\\rec\\a#b.avi\""},
      {"D:\\my videos\\", "x y.avi", "\"D:\\my videos\\x y.avi\""},
      // Trailing backslashes would escape the closing quote: doubled.
      {"C:\\rec\\", "", "\"C:\\rec\\\\\""},
      {"C:\\rec\\\\", "", "\"C:\\rec\\\\\\\\\""},
      // Backslashes anywhere else are literal and stay single.
      {"\\\\srv\\share\\a.avi", "", "\"\\\\srv\\share\\a.avi\""},
      // A path of backslashes alone: every one of them trails.
      {"\\\\", "", "\"\\\\\\\\\""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(buildEncoderParameters(target, c.head, c.tail, kSingleByte),
              testing::expectedParameterLine("-4", "0", "-100", "0", c.quoted))
        << c.head << c.tail;
  }
}

TEST(EncoderParametersTest, ATrailingDoubleByteCharacterIsNotABackslash) {
  const std::string line =
      buildEncoderParameters(region("0", "0", "4", "4"), "C:\\\x83\x5C", "", kShiftJis);
  EXPECT_EQ(line.substr(line.size() - 7), "\"C:\\\x83\x5C\"");
}

TEST(EncoderParametersTest, ParsesBackIntoTheIntendedArguments) {
  const std::string paths[] = {
      "C:\\rec\\clip.avi", "C:\\rec\\",        "C:\\a b\\\\", "rel ative.avi",
      "\\\\srv\\x\\\\y\\", "C:\\#tag#\\v.avi", "\\\\\\"};
  for (const std::string& path : paths) {
    const auto arguments = testing::splitWindowsArguments(
        buildEncoderParameters(region("100", "80", "400", "300"), path, "", kSingleByte));
    EXPECT_EQ(arguments, testing::expectedEncoderArguments("100", "80", "400", "300", path))
        << path;
  }
}

}  // namespace
}  // namespace zeltra
