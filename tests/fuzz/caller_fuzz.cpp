// Fuzzes the caller header's composer, the one its start uses, against the
// launcher's own reading of its command line, both ways: whatever the header
// composes, the launcher reads back as the same title and output path; and
// whatever text the launcher reads as a title and a path, the header does not
// refuse them, so every refusal names texts no command line could bring to
// the launcher. The code page is a model: bytes below 0xF0 are the code
// points of their value, and the characters the input's higher bytes stand
// for it cannot hold.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "caller/zeltra_screentool.h"
#include "launcher/encoder_command.h"
#include "launcher/invocation.h"
#include "launcher/output_path.h"
#include "platform/command_line.h"
#include "tests/fuzz/require.h"

namespace {

namespace zc = zeltra::caller;

constexpr std::uint32_t kFirstNotHeld = 0xF0;

std::wstring widen(std::string_view bytes) {
  std::wstring wide;
  for (const unsigned char byte : bytes) {
    wide += static_cast<wchar_t>(byte < kFirstNotHeld ? byte : 0x3000u + byte);
  }
  return wide;
}

bool held(std::wstring_view text) {
  for (const wchar_t c : text) {
    if (static_cast<std::uint32_t>(c) >= kFirstNotHeld) return false;
  }
  return true;
}

std::string narrow(std::wstring_view text) {
  std::string bytes;
  for (const wchar_t c : text) bytes += static_cast<char>(c);
  return bytes;
}

struct Reading {
  std::string title;
  std::string path;
};

// The launcher skips its own name on the wide line, up to a NUL, then the
// blanks and control characters after it; converts the rest, refusing any
// character its code page cannot hold; splits it; and refuses a path the
// encoder would not write as a file.
std::optional<Reading> launcherReads(std::wstring_view line) {
  const std::wstring whole(line.substr(0, line.find(L'\0')));
  const std::wstring_view rest = zeltra::skipProgramName(whole.c_str());
  if (!held(rest)) return std::nullopt;
  const auto fields = zeltra::parseInvocation(narrow(rest));
  if (!fields ||
      zeltra::findOutputPathFault(fields->outputPath()) != zeltra::OutputPathFault::kNone) {
    return std::nullopt;
  }
  return Reading{fields->targetTitle, fields->outputPath()};
}

constexpr std::wstring_view kLauncher = L"C:\\Program Files\\ZELTRA_ScreenTool.exe";

zc::detail::ComposedLine compose(std::wstring_view launcher, std::wstring_view title,
                                 std::wstring_view path) {
  return zc::detail::composeCommandLine(launcher, title, path, held);
}

// Whatever is composed reads back exactly.
void checkComposed(std::wstring_view launcher, std::wstring_view title, std::wstring_view path) {
  const zc::detail::ComposedLine composed = compose(launcher, title, path);
  if (composed.refusal != zc::Refusal::kNone) {
    require(composed.text.empty());
    return;
  }
  const std::optional<Reading> read = launcherReads(composed.text);
  require(read && widen(read->title) == title && widen(read->path) == path);
}

}  // namespace

// The input is a launcher path, a title and an output path, split where its
// first two bytes say, and also, whole, the text after the launcher's name.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const std::wstring rest =
      widen(std::string_view(reinterpret_cast<const char*>(data) + 2, size - 2));
  const std::wstring_view text(rest);
  const size_t first = data[0] % (text.size() + 1);
  const size_t second = first + data[1] % (text.size() - first + 1);
  checkComposed(text.substr(0, first), text.substr(first, second - first), text.substr(second));
  checkComposed(kLauncher, text.substr(0, second), text.substr(second));

  const std::optional<Reading> read =
      launcherReads(L"\"" + std::wstring(kLauncher) + L"\" " + rest);
  if (read) {
    require(compose(kLauncher, widen(read->title), widen(read->path)).refusal ==
            zc::Refusal::kNone);
    checkComposed(kLauncher, widen(read->title), widen(read->path));
  }
  return 0;
}
