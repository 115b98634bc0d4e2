// An independent decoder of the Windows argument rules (as the C runtime and
// CommandLineToArgvW apply them to the text after the program name), so tests
// can check that a composed parameter line parses back into the intended
// arguments without trusting the code that composed it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zeltra::testing {

inline std::vector<std::wstring> splitWindowsArguments(std::wstring_view line) {
  std::vector<std::wstring> arguments;
  size_t i = 0;
  for (;;) {
    while (i < line.size() && (line[i] == L' ' || line[i] == L'\t')) ++i;
    if (i >= line.size()) return arguments;
    std::wstring argument;
    bool quoted = false;
    while (i < line.size() && (quoted || (line[i] != L' ' && line[i] != L'\t'))) {
      size_t backslashes = 0;
      for (; i < line.size() && line[i] == L'\\'; ++i) ++backslashes;
      if (i < line.size() && line[i] == '"') {
        argument.append(backslashes / 2, '\\');
        if (backslashes % 2 == 1) {
          argument += '"';
        } else if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
          argument += '"';  // "" inside quotes is a literal quote
          ++i;
        } else {
          quoted = !quoted;
        }
        ++i;
      } else {
        argument.append(backslashes, '\\');
        if (i < line.size() && (quoted || (line[i] != L' ' && line[i] != L'\t'))) {
          argument += line[i++];
        }
      }
    }
    arguments.push_back(argument);
  }
}

// The arguments the encoder must read for a region and an output path: the
// fixed settings around the region, the path last.
inline std::vector<std::wstring> expectedEncoderArguments(const std::wstring& x,
                                                          const std::wstring& y,
                                                          const std::wstring& size,
                                                          const std::wstring& path) {
  return {L"-y",      L"-rtbufsize",  L"100M", L"-f",        L"gdigrab", L"-framerate",
          L"30",      L"-offset_x",   x,       L"-offset_y", y,          L"-video_size",
          size,       L"-draw_mouse", L"1",    L"-i",        L"desktop", L"-c:v",
          L"libxvid", L"-r",          L"30",   L"-qscale:v", L"10",      path};
}

}  // namespace zeltra::testing
