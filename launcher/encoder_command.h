// The encoder's command: where ffmpeg.exe is, and the parameter line that
// makes it record the capture region into the output file.
#pragma once

#include <string>
#include <string_view>

#include "launcher/capture_region.h"

namespace zeltra {

inline constexpr wchar_t kEncoderFileName[] = L"\\ffmpeg.exe";

// The launcher's directory (the text before the last "\" or "/", or the
// whole path when there is none) followed by "\ffmpeg.exe". The path is wide:
// no UTF-16 unit of another character equals a separator's.
std::wstring encoderPathFor(std::wstring_view modulePath);

// The encoder's parameter line for the region and the output path, wide: the
// path is the invocation's head + tail, widened from the ANSI code page as
// the "A" calls widen what they pass on. It must hold no double quote (see
// output_path.h).
std::wstring buildEncoderParameters(const CaptureTarget& target, std::wstring_view outputPath);

}  // namespace zeltra
