// Fuzzes the program-name skip across the two widths: wherever the command
// line converts to the ANSI code page exactly, the invocation the launcher
// takes from the wide command line is the one the ANSI command line gives;
// and whatever the name holds, the invocation is the wide line's rest and
// nothing of the name. The input is read as UTF-16 units; the code page is
// played as Latin-1, which holds exactly the characters below 0x100.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/command_line.h"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

std::string toAnsi(const std::wstring& text) {
  std::string ansi;
  for (const wchar_t c : text) ansi += static_cast<char>(c);
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
  const std::wstring invocation = zeltra::skipProgramName(commandLine.c_str());
  if (convertsExactly(commandLine)) {
    require(toAnsi(invocation) == zeltra::skipProgramName(toAnsi(commandLine).c_str()));
  }
  require(commandLine.size() >= invocation.size());
  require(commandLine.compare(commandLine.size() - invocation.size(), invocation.size(),
                              invocation) == 0);
  return 0;
}
