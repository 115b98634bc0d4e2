// Splitting the invocation text.
//
// The split behaves like two calls of a "#" tokenizer followed by taking the
// remainder: runs of "#" before each of the first two fields are skipped, the
// "#" ending a field is consumed, and everything after the second field's
// "#" is the tail, its own "#" characters included. Nothing is trimmed or
// unquoted: a blank or a quote belongs to the field it stands in.
#include "launcher/invocation.h"

namespace zeltra {
namespace {

constexpr char kDelimiter = '#';

// Takes the next field of a "#" tokenizer from text, starting at position.
// Returns the field (empty when only delimiters remained) and moves position
// past the delimiter that ended it, or to the end of the text.
std::string_view takeToken(std::string_view text, size_t& position) {
  const size_t start = text.find_first_not_of(kDelimiter, position);
  if (start == std::string_view::npos) {
    position = text.size();
    return {};
  }
  const size_t end = text.find(kDelimiter, start);
  if (end == std::string_view::npos) {
    position = text.size();
    return text.substr(start);
  }
  position = end + 1;
  return text.substr(start, end - start);
}

}  // namespace

std::optional<InvocationFields> parseInvocation(std::string_view commandLineText) {
  size_t position = 0;
  const std::string_view title = takeToken(commandLineText, position);
  const std::string_view head = takeToken(commandLineText, position);
  if (head.empty()) {
    return std::nullopt;
  }
  return InvocationFields{std::string(title), std::string(head),
                          std::string(commandLineText.substr(position))};
}

}  // namespace zeltra
