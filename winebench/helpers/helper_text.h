// Shared by the Windows test helpers: texts cross from the test driver as hex,
// so that no shell, locale or argument rule can alter a single byte.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

namespace zeltra::helpers {

inline std::string fromHex(const char* hex) {
  std::string text;
  for (size_t i = 0; hex[i] != '\0' && hex[i + 1] != '\0'; i += 2) {
    const char pair[3] = {hex[i], hex[i + 1], '\0'};
    text += static_cast<char>(std::strtoul(pair, nullptr, 16));
  }
  return text;
}

inline std::string toHex(const std::string& text) {
  static const char digits[] = "0123456789abcdef";
  std::string hex;
  for (const unsigned char c : text) {
    hex += digits[c >> 4];
    hex += digits[c & 15];
  }
  return hex;
}

// A decimal (or 0x) number from the driver; 0 when it is none.
inline long toNumber(const char* text) { return std::strtol(text, nullptr, 0); }

// One line to the driver, sent at once: the driver reacts to lines as they come.
template <typename... Args>
void say(const char* format, Args... args) {
  std::printf(format, args...);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

}  // namespace zeltra::helpers
