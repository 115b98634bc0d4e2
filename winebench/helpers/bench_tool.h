// The bench's one helper program, bench_tool: its subcommands, one file each
// (the file says the subcommand's words and the lines it prints), and the
// words they are given.
#pragma once

#include <windows.h>

#include <cstring>
#include <string>

#include "helper_text.h"

namespace zeltra::helpers {

// A subcommand's words after its name: positional values first, then flags
// ("--name" and the values it takes). A word asked for beyond the last is
// empty, so a short command line fails the subcommand, never its reading.
class Words {
 public:
  Words(int count, char** words) : count_(count), words_(words) {}
  int size() const { return count_; }
  const char* operator[](int i) const { return i < count_ ? words_[i] : ""; }
  long number(int i) const { return toNumber((*this)[i]); }
  // The n values after the flag, or nullptr when it is not there with as many.
  char* const* after(const char* flag, int n = 1) const {
    for (int i = 0; i + n < count_; ++i) {
      if (std::strcmp(words_[i], flag) == 0) return words_ + i + 1;
    }
    return nullptr;
  }
  bool has(const char* flag) const { return after(flag, 0) != nullptr; }

 private:
  int count_;
  char** words_;
};

int runVerbatim(const Words& words);      // run
int targetWindow(const Words& words);     // window
int sendMessage(const Words& words);      // send
int listWindows(const Words& words);      // windows
int watchExit(const Words& words);        // exit-code
int sendCtrlC(const Words& words);        // ctrl-c
int viewDebugOutput(const Words& words);  // viewer
int benchReference(const Words& words);   // reference
int readBack(const Words& words);         // read-back
// The role of a copy named cmd.exe.
int hungInterpreter(const Words& words);

}  // namespace zeltra::helpers
