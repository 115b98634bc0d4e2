// Fuzzes the program-name skip across the two widths: wherever the program
// name converts to the ANSI code page exactly, the invocation the launcher
// takes from the wide command line must be the one the ANSI command line
// gave. The input is read as UTF-16 units; the code page is played with best
// fit, as Windows converts: fullwidth forms become their ASCII letters (a
// fullwidth quote a quote), wide spaces a blank, any other character "?".
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/command_line.h"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

char bestFit(wchar_t c) {
  if (c < 0x100) return static_cast<char>(c);
  if (c >= 0xFF01 && c <= 0xFF5E) return static_cast<char>(c - 0xFF01 + 0x21);
  if (c == 0x3000 || (c >= 0x2002 && c <= 0x200A)) return ' ';
  return '?';
}

std::string toAnsi(const std::wstring& text) {
  std::string ansi;
  for (const wchar_t c : text) ansi += bestFit(c);
  return ansi;
}

bool convertsExactly(const std::wstring& text) {
  for (const wchar_t c : text) {
    if (c >= 0x100) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::wstring commandLine;
  for (size_t i = 0; i + 1 < size; i += 2) {
    const auto unit = static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
    if (unit == 0) break;  // a command line holds no NUL
    commandLine += unit;
  }
  const std::string invocation = zeltra::invocationFromWideCommandLine(commandLine.c_str(), toAnsi);
  const std::wstring name(commandLine.c_str(), zeltra::skipProgramNameOnly(commandLine.c_str()));
  if (convertsExactly(name)) {
    const std::string ansiLine = toAnsi(commandLine);
    require(invocation == zeltra::skipProgramName(ansiLine.c_str()));
  }
  // Whatever the name holds, the invocation is the rest of the wide line,
  // converted, and nothing of the name.
  require(toAnsi(commandLine).size() >= invocation.size());
  require(toAnsi(commandLine)
              .compare(toAnsi(commandLine).size() - invocation.size(), invocation.size(),
                       invocation) == 0);
  return 0;
}
