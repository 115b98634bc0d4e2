// Numbers as text.
#include "launcher/decimal_text.h"

namespace zeltra {

std::string formatDecimal(int64_t value) {
  // Work on the magnitude as unsigned, so the most negative value has one too.
  uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + magnitude % 10));
    magnitude /= 10;
  } while (magnitude != 0);
  return value < 0 ? "-" + digits : digits;
}

std::string formatExitCode(uint32_t code) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text = formatDecimal(code);
  if (code >= 0x80000000u) {
    std::string hex;
    for (int shift = 28; shift >= 0; shift -= 4) hex += kDigits[(code >> shift) & 0xF];
    text += " (0x" + hex + ")";
  }
  return text;
}

}  // namespace zeltra
