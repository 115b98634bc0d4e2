// The rules an output path must keep for the encoder to write the file it
// names, and nothing else.
#pragma once

#include <string_view>

namespace zeltra {

// No Windows path holds a double quote, and one inside the quoted output
// path would end the quoting and let the rest reach the encoder as options.
// 0x22 is never the second byte of a two-byte character, so a byte scan is exact.
inline bool holdsDoubleQuote(std::string_view path) {
  return path.find('"') != std::string_view::npos;
}

}  // namespace zeltra
