// Numbers as the launcher writes them into the encoder's command and its
// diagnostic lines.
#pragma once

#include <cstdint>
#include <string>

namespace zeltra {

// Decimal digits, a minus sign for negative values, nothing else: no plus
// sign, padding or grouping.
std::string formatDecimal(int64_t value);

// A process's exit code in decimal, and in hex too where its high bit is
// set: such codes are status values (0xC0000005), which are read in hex.
std::string formatExitCode(uint32_t code);

// A character's code point as Unicode names it: U+ and four or more hex digits.
std::string formatCodePoint(uint32_t codePoint);

}  // namespace zeltra
