// Reading the encoder's answers (see encoder_answers.h).
#include "check/encoder_answers.h"

#include <vector>

namespace zeltra::check {
namespace {

std::vector<std::string_view> splitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

bool startsWith(std::string_view line, std::string_view start) {
  return line.substr(0, start.size()) == start;
}

}  // namespace

std::string versionLine(std::string_view versionOutput) {
  for (const std::string_view line : splitLines(versionOutput)) {
    if (line.find_first_not_of(" \t") != std::string_view::npos) return std::string(line);
  }
  return {};
}

std::string helpQuestion(Component component, std::string_view name) {
  return std::string("-hide_banner -h ") +
         (component == Component::kDemuxer ? "demuxer=" : "encoder=") + std::string(name);
}

HelpAnswer readHelpAnswer(std::string_view answer, Component component, std::string_view name) {
  const std::string named(name);
  const std::string described =
      (component == Component::kDemuxer ? "Demuxer " : "Encoder ") + named + " [";
  const std::string unknown = component == Component::kDemuxer
                                  ? "Unknown format '" + named + "'."
                                  : "Codec '" + named + "' is not recognized by FFmpeg.";
  for (const std::string_view line : splitLines(answer)) {
    if (startsWith(line, described)) return HelpAnswer::kDescribes;
    if (line == unknown) return HelpAnswer::kUnknown;
  }
  return HelpAnswer::kUnclear;
}

std::string buildsCarrying(std::string_view name) {
  if (name == "libxvid") {
    return "libxvid is in GPL builds of FFmpeg configured with --enable-libxvid, such as the "
           "\"full\" builds from gyan.dev and the \"gpl\" builds by BtbN";
  }
  if (name == "gdigrab") {
    return "gdigrab is in every FFmpeg built for Windows unless left out at configuration; "
           "take a complete Windows build, such as those from gyan.dev or BtbN";
  }
  return std::string(name) + " is not in this build";
}

}  // namespace zeltra::check
