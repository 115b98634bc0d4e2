// The invocation: the one command-line text that tells the launcher which
// window to record and where the recording goes, "title#pathHead#pathTail".
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zeltra {

// The invocation as the entry reads it: the command line after the program
// name and the blanks that follow it, in the ANSI code page, where the
// launcher reads its texts.
struct InvocationText {
  std::string text;
  // A character the code page has no exact form of, which the conversion
  // would have turned into another (a best fit, "?"): then text is empty.
  struct Inexact {
    size_t place;  // counted in characters from the invocation's first, which is 0
    uint32_t codePoint;
    uint32_t codePage;
  };
  std::optional<Inexact> inexact;
};

struct InvocationFields {
  std::string targetTitle;
  std::string outputHead;  // never holds "#"
  std::string outputTail;  // the verbatim rest, "#" characters included

  std::string outputPath() const { return outputHead + outputTail; }
};

// Splits the text as a tokenizer with the delimiter "#" does for the first
// two fields, and takes the rest verbatim. Returns nothing when the text
// yields no second field: then there is no output path and nothing to record.
std::optional<InvocationFields> parseInvocation(std::string_view commandLineText);

}  // namespace zeltra
