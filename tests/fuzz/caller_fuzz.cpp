// Fuzzes the caller header's composing against the launcher's own reading of
// its command line, both ways: whatever the header composes, the launcher
// reads back as the same title and output path; and whatever text the
// launcher reads as a title and a path, the header does not refuse them, so
// every refusal names texts no command line could bring to the launcher.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "caller/zeltra_screentool.h"
#include "launcher/encoder_command.h"
#include "launcher/invocation.h"
#include "launcher/output_path.h"
#include "platform/command_line.h"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

struct Reading {
  std::string title;
  std::string path;
};

// The launcher's start-up code gives it the command line up to a NUL, after
// the program name (up to the next quote when quoted, else up to a blank) and
// the bytes 0x01..0x20 that follow; then its split, and its refusal of a path
// the encoder would not write as a file.
std::optional<Reading> launcherReads(std::string_view line) {
  // The launcher sees the command line up to its first NUL.
  const std::string whole(line.substr(0, line.find('\0')));
  const auto fields = zeltra::parseInvocation(zeltra::skipProgramName(whole.c_str()));
  if (!fields ||
      zeltra::findOutputPathFault(fields->outputPath()) != zeltra::OutputPathFault::kNone) {
    return std::nullopt;
  }
  return Reading{fields->targetTitle, fields->outputPath()};
}

constexpr std::string_view kLauncher = "C:\\Program Files\\ZELTRA_ScreenTool.exe";

// Whatever is composed reads back exactly.
void checkComposed(std::string_view launcher, std::string_view title, std::string_view path) {
  const zeltra::caller::ComposedText composed =
      zeltra::caller::composeCommandLine(launcher, title, path);
  if (composed.refusal != zeltra::caller::Refusal::kNone) {
    require(composed.text.empty());
    return;
  }
  const std::optional<Reading> read = launcherReads(composed.text);
  require(read && read->title == title && read->path == path);
}

}  // namespace

// The input is a launcher path, a title and an output path, split where its
// first two bytes say, and also, whole, the text after the launcher's name.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const std::string_view rest(reinterpret_cast<const char*>(data) + 2, size - 2);
  const size_t first = data[0] % (rest.size() + 1);
  const size_t second = first + data[1] % (rest.size() - first + 1);
  checkComposed(rest.substr(0, first), rest.substr(first, second - first), rest.substr(second));
  checkComposed(kLauncher, rest.substr(0, second), rest.substr(second));

  const std::optional<Reading> read =
      launcherReads("\"" + std::string(kLauncher) + "\" " + std::string(rest));
  if (read) {
    require(zeltra::caller::composeCommandLine(kLauncher, read->title, read->path).refusal ==
            zeltra::caller::Refusal::kNone);
    checkComposed(kLauncher, read->title, read->path);
  }
  return 0;
}
