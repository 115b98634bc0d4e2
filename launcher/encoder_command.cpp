// Composing the encoder's path and parameter line.
//
// The parameter line is parsed back into arguments by the encoder's runtime
// under the Windows argument rules: blanks separate arguments outside double
// quotes; 2n backslashes followed by a quote become n backslashes and the
// quote delimits; 2n+1 backslashes followed by a quote become n backslashes
// and a literal quote; backslashes anywhere else are literal. So the output
// path, quoted, arrives unchanged provided it holds no quote of its own and
// its trailing backslashes, which stand right before the closing quote, are
// doubled. The line is composed wide, where no unit of another character is
// a backslash (in a double-byte code page the second byte of a character can be).
#include "launcher/encoder_command.h"

namespace zeltra {
namespace {

std::wstring widenedAscii(const std::string& text) {
  return std::wstring(text.begin(), text.end());
}

// The path between double quotes so that it parses back exactly as given.
std::wstring quoteOutputPath(std::wstring_view path) {
  const size_t lastOther = path.find_last_not_of(L'\\');
  const size_t trailing =
      lastOther == std::wstring_view::npos ? path.size() : path.size() - lastOther - 1;
  std::wstring quoted = L"\"";
  quoted.append(path);
  quoted.append(trailing, L'\\');
  quoted += L'"';
  return quoted;
}

}  // namespace

std::wstring encoderPathFor(std::wstring_view modulePath) {
  const size_t separator = modulePath.find_last_of(L"\\/");
  const size_t directoryEnd = separator == std::wstring_view::npos ? modulePath.size() : separator;
  return std::wstring(modulePath.substr(0, directoryEnd)) + kEncoderFileName;
}

std::wstring buildEncoderParameters(const CaptureTarget& target, std::wstring_view outputPath) {
  // The region's texts are decimal digits and a minus sign: ASCII.
  return L"-y -rtbufsize 100M -f gdigrab -framerate 30 "
         L"-offset_x " +
         widenedAscii(target.offsetX) + L" " + L"-offset_y " + widenedAscii(target.offsetY) + L" " +
         L"-video_size " + widenedAscii(target.width) + L"x" + widenedAscii(target.height) + L" " +
         L"-draw_mouse 1 -i desktop -c:v libxvid -r 30 -qscale:v 10 " + quoteOutputPath(outputPath);
}

}  // namespace zeltra
