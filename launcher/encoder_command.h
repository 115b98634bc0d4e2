// The encoder's command: where ffmpeg.exe is, and the parameter line that
// makes it record the capture region into the output file.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "launcher/capture_region.h"

namespace zeltra {

// Whether a byte starts a two-byte character in the ANSI code page. In the
// double-byte code pages the second byte of a character can be 0x5C, the
// backslash's byte, so any scan for "\" must walk characters, not bytes.
using LeadByteTest = std::function<bool(uint8_t)>;

inline constexpr wchar_t kEncoderFileName[] = L"\\ffmpeg.exe";

// The launcher's directory (the text before the last "\" or "/", or the
// whole path when there is none) followed by "\ffmpeg.exe". The path is wide:
// no UTF-16 unit of another character equals a separator's.
std::wstring encoderPathFor(std::wstring_view modulePath);

// No Windows path holds a double quote, and one inside the quoted output
// path would end the quoting and let the rest reach the encoder as options.
bool holdsDoubleQuote(std::string_view text);

// The encoder's parameter line for the region and the output path
// head + tail. The path must hold no double quote (see holdsDoubleQuote).
std::string buildEncoderParameters(const CaptureTarget& target, std::string_view outputHead,
                                   std::string_view outputTail, const LeadByteTest& isLeadByte);

}  // namespace zeltra
