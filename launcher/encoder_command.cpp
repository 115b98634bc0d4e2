// Composing the encoder's path and parameter line.
//
// The parameter line is parsed back into arguments by the encoder's runtime
// under the Windows argument rules: blanks separate arguments outside double
// quotes; 2n backslashes followed by a quote become n backslashes and the
// quote delimits; 2n+1 backslashes followed by a quote become n backslashes
// and a literal quote; backslashes anywhere else are literal. So the output
// path, quoted, arrives unchanged provided it holds no quote of its own and
// its trailing backslashes, which stand right before the closing quote, are
// doubled.
#include "launcher/encoder_command.h"

namespace zeltra {
namespace {

// Calls visit(index) for the first byte of every character of text, so that
// the second byte of a two-byte character is never taken for a character.
template <typename Visit>
void forEachCharacter(std::string_view text, const LeadByteTest& isLeadByte, Visit visit) {
  for (size_t i = 0; i < text.size(); ++i) {
    visit(i);
    if (isLeadByte(static_cast<uint8_t>(text[i])) && i + 1 < text.size()) {
      ++i;
    }
  }
}

// How many backslash characters end the text.
size_t countTrailingBackslashes(std::string_view text, const LeadByteTest& isLeadByte) {
  size_t count = 0;
  forEachCharacter(text, isLeadByte, [&](size_t i) { count = text[i] == '\\' ? count + 1 : 0; });
  return count;
}

// The path between double quotes so that it parses back exactly as given.
std::string quoteOutputPath(std::string_view path, const LeadByteTest& isLeadByte) {
  const size_t trailing = countTrailingBackslashes(path, isLeadByte);
  std::string quoted = "\"";
  quoted.append(path);
  quoted.append(trailing, '\\');
  quoted += '"';
  return quoted;
}

}  // namespace

std::wstring encoderPathFor(std::wstring_view modulePath) {
  const size_t separator = modulePath.find_last_of(L"\\/");
  const size_t directoryEnd = separator == std::wstring_view::npos ? modulePath.size() : separator;
  return std::wstring(modulePath.substr(0, directoryEnd)) + kEncoderFileName;
}

bool holdsDoubleQuote(std::string_view text) {
  // 0x22 is never the second byte of a two-byte character, so a byte scan is exact.
  return text.find('"') != std::string_view::npos;
}

std::string buildEncoderParameters(const CaptureTarget& target, std::string_view outputHead,
                                   std::string_view outputTail, const LeadByteTest& isLeadByte) {
  std::string path(outputHead);
  path.append(outputTail);
  return "-y -rtbufsize 100M -f gdigrab -framerate 30 "
         "-offset_x " +
         target.offsetX + " " + "-offset_y " + target.offsetY + " " + "-video_size " +
         target.width + "x" + target.height + " " +
         "-draw_mouse 1 -i desktop -c:v libxvid -r 30 -qscale:v 10 " +
         quoteOutputPath(path, isLeadByte);
}

}  // namespace zeltra
