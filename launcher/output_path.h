// The rules an output path must keep for the encoder to write the one file
// it names, on this machine or through its file system, and nothing else.
#pragma once

#include <string_view>

namespace zeltra {

// What keeps an output path from naming a file the encoder writes.
enum class OutputPathFault {
  kNone,
  // No Windows path holds a double quote, and one inside the quoted output
  // path would end the quoting and let the rest reach the encoder as options.
  kHoldsDoubleQuote,
  // The encoder reads a name as a protocol where it begins with a run of
  // letters, digits, "+", "-" or "." followed by ":" (tcp:, udp:, pipe:,
  // file:, even clip.avi:s), unless that run is one ASCII letter: a drive
  // (C:\, C:/, C:clip.avi). A protocol may send the recording off the machine.
  kNamesAProtocol,
  // A name beginning with "-" the encoder reads as one of its options.
  kReadsAsAnOption,
};

inline bool isAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// The first fault of the path, in the order above. Byte scans are exact:
// neither '"', ':' nor the scheme's characters are ever the second byte of a
// two-byte character.
inline OutputPathFault findOutputPathFault(std::string_view path) {
  if (path.find('"') != std::string_view::npos) return OutputPathFault::kHoldsDoubleQuote;
  if (!path.empty() && path.front() == '-') return OutputPathFault::kReadsAsAnOption;
  size_t run = 0;
  while (run < path.size() && (isAsciiLetter(path[run]) || (path[run] >= '0' && path[run] <= '9') ||
                               path[run] == '+' || path[run] == '-' || path[run] == '.')) {
    ++run;
  }
  const bool drive = run == 1 && isAsciiLetter(path[0]);
  return run < path.size() && path[run] == ':' && !drive ? OutputPathFault::kNamesAProtocol
                                                         : OutputPathFault::kNone;
}

}  // namespace zeltra
