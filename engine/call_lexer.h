// The structure of the text inside a call's parentheses: where a literal or
// a comment ends. The capture and the split use the same rules, so both end
// at the same closing parenthesis.
//
// Inside a literal a backslash takes the next character, so \' and \\ do not
// end it. "/*" ends after the next "*/"; "//" ends at the newline of its
// physical line, unless a backslash stands right before that newline.
#pragma once

#include <cstddef>
#include <string_view>

namespace zaptor {

struct SpanEnd {
  std::size_t pos;  // closed: just past the span; open: where to go on once the text is longer
  bool closed;
};

// `pos` is just past the opening quote.
constexpr SpanEnd literal_end(std::string_view text, std::size_t pos, char quote) {
  while (pos < text.size()) {
    const char c = text[pos];
    if (c == '\\') {
      if (pos + 1 == text.size()) return {pos, false};
      pos += 2;
      continue;
    }
    ++pos;
    if (c == quote) return {pos, true};
  }
  return {pos, false};
}

// `pos` is just past "/*".
constexpr SpanEnd block_comment_end(std::string_view text, std::size_t pos) {
  const std::size_t close = text.find("*/", pos);
  if (close != std::string_view::npos) return {close + 2, true};
  // A "*" at the very end may still be followed by "/".
  return {text.size() > pos ? text.size() - 1 : pos, false};
}

// `pos` is just past "//". The newline itself is left to the text after.
constexpr SpanEnd line_comment_end(std::string_view text, std::size_t pos) {
  for (;;) {
    const std::size_t newline = text.find('\n', pos);
    if (newline == std::string_view::npos) return {text.size(), false};
    if (newline == 0 || text[newline - 1] != '\\') return {newline, true};
    pos = newline + 1;
  }
}

}  // namespace zaptor
