// Where the invocation begins in a process's command line: after the program
// name and the blanks that follow it.
//
// Kept here, not left to the C runtime's start-up code, because that code in
// some toolchains compares bytes as signed chars, so every byte of 0x80 or
// more counts as a blank: a title beginning with a non-ASCII letter in the
// ANSI code page lost that letter. Header-only, so the bench's stand-in
// encoder skips its own program name by the same rule.
//
// One rule for both widths: the launcher skips its name on the wide command
// line, where a folder's name the ANSI code page cannot hold stays whole (in
// the ANSI line such a character may have become a best-fit '"' or blank),
// and converts only the rest.
#pragma once

#include <type_traits>

namespace zeltra {

// The rest of commandLine after the program name, as Windows delimits it: a
// quoted name runs to the closing quote (or to the end when there is none), an
// unquoted one to the first blank or tab.
template <typename Char>
const Char* skipProgramNameOnly(const Char* commandLine) {
  const Char* p = commandLine;
  if (*p == Char('"')) {
    ++p;
    while (*p != Char('\0') && *p != Char('"')) ++p;
    if (*p == Char('"')) ++p;
  } else {
    while (*p != Char('\0') && *p != Char(' ') && *p != Char('\t')) ++p;
  }
  return p;
}

// The text after its leading blanks and control characters (1 to 0x20),
// compared as unsigned, so any character of 0x80 or more is kept.
template <typename Char>
const Char* skipLeadingBlanks(const Char* text) {
  using Unsigned = std::make_unsigned_t<Char>;
  while (*text != Char('\0') && static_cast<Unsigned>(*text) <= Unsigned(' ')) ++text;
  return text;
}

// The program name and the blanks after it skipped: the invocation.
template <typename Char>
const Char* skipProgramName(const Char* commandLine) {
  return skipLeadingBlanks(skipProgramNameOnly(commandLine));
}

}  // namespace zeltra
