// bench_tool: the bench's one helper program. Each subcommand does one thing
// on the desktop for the driver (winebench/runner.py) and reports it in lines
// the driver reads; each lives in a file of its own, which says its words.
// Copied in under another name, it plays a program the launcher starts,
// picking its role from its own file name, since it is started with the
// command line the launcher or the caller gives that program:
//   cmd.exe                where %ComSpec% points: a command interpreter that
//                          never returns (hung_interpreter.cpp)
//   ZELTRA_ScreenTool.exe  where a launcher would be: one that ends at once,
//                          with exit code 3, and creates no window
// Usage: bench_tool <subcommand> <words>...
#include <windows.h>

#include <cstring>
#include <string>

#include "bench_tool.h"
#include "helper_log.h"

namespace {

using zeltra::helpers::Words;

struct Subcommand {
  const char* name;
  int (*run)(const Words&);
};

constexpr Subcommand kSubcommands[] = {
    {"run", zeltra::helpers::runVerbatim},        {"window", zeltra::helpers::targetWindow},
    {"send", zeltra::helpers::sendMessage},       {"windows", zeltra::helpers::listWindows},
    {"exit-code", zeltra::helpers::watchExit},    {"ctrl-c", zeltra::helpers::sendCtrlC},
    {"viewer", zeltra::helpers::viewDebugOutput}, {"reference", zeltra::helpers::benchReference},
    {"read-back", zeltra::helpers::readBack},
};

bool namedAs(const std::wstring& path, const wchar_t* name) {
  const std::wstring file = path.substr(path.find_last_of(L"\\/") + 1);
  return ::lstrcmpiW(file.c_str(), name) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::wstring self = zeltra::helpers::pathOfThisProgram();
  if (namedAs(self, L"cmd.exe")) return zeltra::helpers::hungInterpreter(Words(argc - 1, argv + 1));
  if (namedAs(self, L"ZELTRA_ScreenTool.exe")) return 3;
  for (const Subcommand& subcommand : kSubcommands) {
    if (argc > 1 && std::strcmp(argv[1], subcommand.name) == 0) {
      return subcommand.run(Words(argc - 2, argv + 2));
    }
  }
  zeltra::helpers::say("usage: bench_tool <subcommand> <words>... (see winebench/helpers/)");
  return 2;
}
