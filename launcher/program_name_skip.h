// Where the invocation begins in a process's command line: after the program
// name and the blanks that follow it.
//
// Kept here, not left to the C runtime's start-up code, because that code in
// some toolchains compares bytes as signed chars, so every byte of 0x80 or
// more counts as a blank: a title beginning with a non-ASCII letter in the
// ANSI code page lost that letter. Header-only, so the bench's stand-in
// encoder skips its own program name by the same rule.
#pragma once

namespace zeltra {

// The rest of commandLine after the program name, as Windows delimits it: a
// quoted name runs to the closing quote (or to the end when there is none), an
// unquoted one to the first blank or tab. Then the blanks and control
// characters (bytes 0x01 to 0x20) after it are skipped, compared as unsigned
// bytes, so any byte of 0x80 or more is kept as the invocation's first.
inline const char* skipProgramName(const char* commandLine) {
  const char* p = commandLine;
  if (*p == '"') {
    ++p;
    while (*p != '\0' && *p != '"') ++p;
    if (*p == '"') ++p;
  } else {
    while (*p != '\0' && *p != ' ' && *p != '\t') ++p;
  }
  while (*p != '\0' && static_cast<unsigned char>(*p) <= ' ') ++p;
  return p;
}

}  // namespace zeltra
