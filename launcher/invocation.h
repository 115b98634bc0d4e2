// The invocation: the one command-line text that tells the launcher which
// window to record and where the recording goes, "title#pathHead#pathTail".
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zeltra {

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
