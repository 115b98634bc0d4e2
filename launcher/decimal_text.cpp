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

namespace {

std::string hexDigits(uint32_t value, int digits) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) hex += kDigits[(value >> shift) & 0xF];
  return hex;
}

}  // namespace

std::string formatExitCode(uint32_t code) {
  std::string text = formatDecimal(code);
  if (code >= 0x80000000u) text += " (0x" + hexDigits(code, 8) + ")";
  return text;
}

std::string formatCodePoint(uint32_t codePoint) {
  int digits = 4;
  while (digits < 8 && (codePoint >> (4 * digits)) != 0) ++digits;
  return "U+" + hexDigits(codePoint, digits);
}

}  // namespace zeltra
