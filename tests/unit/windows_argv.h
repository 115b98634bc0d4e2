// An independent decoder of the Windows argument rules (as the C runtime and
// CommandLineToArgvW apply them to the text after the program name), so tests
// can check that a composed parameter line parses back into the intended
// arguments without trusting the code that composed it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zeltra::testing {

inline std::vector<std::string> splitWindowsArguments(std::string_view line) {
  std::vector<std::string> arguments;
  size_t i = 0;
  for (;;) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) {
      ++i;
    }
    if (i >= line.size()) {
      return arguments;
    }
    std::string argument;
    bool quoted = false;
    while (i < line.size() && (quoted || (line[i] != ' ' && line[i] != '\t'))) {
      size_t backslashes = 0;
      while (i < line.size() && line[i] == '\\') {
        ++backslashes;
        ++i;
      }
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
        if (i < line.size() && (quoted || (line[i] != ' ' && line[i] != '\t'))) {
          argument += line[i];
          ++i;
        }
      }
    }
    arguments.push_back(argument);
  }
}

// The arguments the encoder must read for a region and an output path: the
// fixed settings around the region, the path last.
inline std::vector<std::string> expectedEncoderArguments(const std::string& x, const std::string& y,
                                                         const std::string& width,
                                                         const std::string& height,
                                                         const std::string& path) {
  return {"-y",
          "-rtbufsize",
          "100M",
          "-f",
          "gdigrab",
          "-framerate",
          "30",
          "-offset_x",
          x,
          "-offset_y",
          y,
          "-video_size",
          width + "x" + height,
          "-draw_mouse",
          "1",
          "-i",
          "desktop",
          "-c:v",
          "libxvid",
          "-r",
          "30",
          "-qscale:v",
          "10",
          path};
}

// The same as one parameter line, every argument but the path joined by one
// blank, the path as given (quoted by the caller of this).
inline std::string expectedParameterLine(const std::string& x, const std::string& y,
                                         const std::string& width, const std::string& height,
                                         const std::string& quotedPath) {
  std::string line;
  for (const std::string& argument : expectedEncoderArguments(x, y, width, height, "")) {
    if (!argument.empty()) line += argument + " ";
  }
  return line + quotedPath;
}

}  // namespace zeltra::testing
