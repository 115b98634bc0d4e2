// Fuzzes the path from the command-line text to the encoder's parameter line:
// the split must follow its rule exactly, and the composed line must parse
// back, under the Windows argument rules, into exactly the fixed options and
// the output path, for every input that is not refused for a double quote.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "launcher/encoder_command.h"
#include "launcher/invocation.h"
#include "launcher/output_path.h"
#include "tests/fuzz/require.h"
#include "tests/unit/windows_argv.h"

namespace {

using zeltra::InvocationFields;

size_t skipHashes(std::string_view text, size_t at) {
  while (at < text.size() && text[at] == '#') ++at;
  return at;
}

// text = "#"* title "#"+ head ("" | "#" tail), title and head non-empty, no "#".
void checkSplitFound(std::string_view text, const InvocationFields& f) {
  require(!f.targetTitle.empty() && f.targetTitle.find('#') == std::string::npos);
  require(!f.outputHead.empty() && f.outputHead.find('#') == std::string::npos);
  size_t at = skipHashes(text, 0);
  require(text.substr(at, f.targetTitle.size()) == f.targetTitle);
  at += f.targetTitle.size();
  const size_t afterTitle = at;
  at = skipHashes(text, at);
  require(at > afterTitle);
  require(text.substr(at, f.outputHead.size()) == f.outputHead);
  at += f.outputHead.size();
  if (at == text.size()) {
    require(f.outputTail.empty());
  } else {
    require(text[at] == '#' && text.substr(at + 1) == f.outputTail);
  }
}

// No head: empty, all "#", or "#"* field "#"*.
void checkSplitMissing(std::string_view text) {
  const size_t start = skipHashes(text, 0);
  const size_t end = text.find('#', start);
  if (end != std::string_view::npos) require(skipHashes(text, end) == text.size());
}

void checkParameterLine(const InvocationFields& f) {
  const std::string path = f.outputPath();
  // Refused before anything runs; any other path composes and parses back.
  if (zeltra::findOutputPathFault(path) == zeltra::OutputPathFault::kHoldsDoubleQuote) return;
  // Each byte as one character, as a single-byte code page widens it.
  std::wstring wide;
  for (const char c : path) wide += static_cast<wchar_t>(static_cast<unsigned char>(c));
  const zeltra::CaptureTarget target{nullptr, "-8", "16", "800", "588"};
  require(zeltra::testing::splitWindowsArguments(zeltra::buildEncoderParameters(target, wide)) ==
          zeltra::testing::expectedEncoderArguments(L"-8", L"16", L"800x588", wide));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  text = text.substr(0, text.find('\0'));  // a command line holds no NUL
  const auto fields = zeltra::parseInvocation(text);
  if (fields) {
    checkSplitFound(text, *fields);
    checkParameterLine(*fields);
  } else {
    checkSplitMissing(text);
  }
  return 0;
}
