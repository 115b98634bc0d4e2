// The command line that hands a command to a command interpreter.
#include "platform/interpreter_command.h"

#include <algorithm>

namespace zeltra {
namespace {

// The file name after the last separator; both separators count, as Windows
// accepts either in a path.
std::string fileNameOf(const std::string& path) {
  const size_t separator = path.find_last_of("\\/");
  return separator == std::string::npos ? path : path.substr(separator + 1);
}

bool isCmd(const std::string& interpreterPath) {
  std::string name = fileNameOf(interpreterPath);
  // ASCII only: the name compared with is ASCII, and lowering other bytes
  // could turn a double-byte character's trail byte into one.
  std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) {
    return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  });
  return name == "cmd.exe";
}

}  // namespace

std::string interpreterCommandLine(const std::string& interpreterPath,
                                   const std::string& commandText) {
  const char* const switches = isCmd(interpreterPath) ? " /d /c " : " /c ";
  return "\"" + interpreterPath + "\"" + switches + commandText;
}

}  // namespace zeltra
