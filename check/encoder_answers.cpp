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

std::vector<std::string_view> splitWords(std::string_view line, std::string_view separators) {
  std::vector<std::string_view> words;
  size_t start = line.find_first_not_of(separators);
  while (start != std::string_view::npos) {
    const size_t end = line.find_first_of(separators, start);
    words.push_back(line.substr(start, end - start));
    start = line.find_first_not_of(separators, end);
  }
  return words;
}

// The line between the legend and the entries: dashes only, at least two.
bool isSeparator(std::string_view line) {
  const std::vector<std::string_view> words = splitWords(line, " \t");
  return words.size() == 1 && words[0].size() >= 2 &&
         words[0].find_first_not_of('-') == std::string_view::npos;
}

}  // namespace

std::string versionLine(std::string_view versionOutput) {
  for (const std::string_view line : splitLines(versionOutput)) {
    if (line.find_first_not_of(" \t") != std::string_view::npos) return std::string(line);
  }
  return {};
}

bool listsEntry(std::string_view listing, std::string_view name, char flag) {
  bool inEntries = false;
  for (const std::string_view line : splitLines(listing)) {
    if (!inEntries) {
      inEntries = isSeparator(line);
      continue;
    }
    const std::vector<std::string_view> words = splitWords(line, " \t");
    if (words.size() < 2 || words[0].find(flag) == std::string_view::npos) continue;
    for (const std::string_view entry : splitWords(words[1], ",")) {
      if (entry == name) return true;
    }
  }
  return false;
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
