// The structure of the text inside a call's parentheses, one byte at a time.
//
// Inside a literal a backslash takes the next character, so \' and \\ do not
// end it. "/*" ends after the next "*/"; "//" ends at the newline of its
// physical line, unless a backslash stands right before that newline. Each
// byte moves the lexer from one state to the next, so a walk can stop at any
// byte (the end of a piece of text, the end of what was read) and go on
// later exactly where it was.
#pragma once

#include <array>
#include <cstdint>

#include "engine/chartype.h"

namespace zaptor {

enum class Lex : std::uint8_t {
  code,
  code_slash,   // code, just after a "/" whose next byte decides
  dq,           // inside "..."
  dq_escape,    // just after a backslash inside "..."
  sq,           // inside '...'
  sq_escape,
  block,        // inside /* ... */
  block_star,   // just after a "*" inside /* ... */
  line,         // inside // ...
  line_escape,  // just after a backslash inside // ...
};
inline constexpr int kLexStates = 10;

// What a byte of code means to the call's structure.
enum class Walk : std::uint8_t { pass, slash, quote, open, close, comma, invalid };

constexpr std::array<Walk, 256> make_walk_table() {
  std::array<Walk, 256> table{};
  for (std::size_t c = 0; c < table.size(); ++c) {
    const auto byte = static_cast<char>(c);
    table[c] = has_class(byte, kAlnum | kSpace | kOperator | kHigh) ? Walk::pass : Walk::invalid;
  }
  table['/'] = Walk::slash;
  table['"'] = table['\''] = Walk::quote;
  table['('] = Walk::open;
  table[')'] = Walk::close;
  table[','] = Walk::comma;
  return table;
}

inline constexpr std::array<Walk, 256> kWalk = make_walk_table();

constexpr Walk walk_of(char c) { return kWalk[static_cast<unsigned char>(c)]; }

// The split reports a character that cannot stand in a parameter list every
// time one of its passes stops on it: twice when a pass ran up to it over
// white space, alphanumeric or operator characters (or a comment), once
// when it follows "(", ")", ",", a closing quote or another such character.
constexpr std::uint8_t report_times(char before) {
  return has_class(before, kAlnum | kSpace | kOperator | kHigh) ? 2 : 1;
}

// The next state inside a literal or comment (not code or code_slash).
constexpr Lex skip_step(Lex state, char c) {
  switch (state) {
    case Lex::dq:
      return c == '\\' ? Lex::dq_escape : c == '"' ? Lex::code : Lex::dq;
    case Lex::sq:
      return c == '\\' ? Lex::sq_escape : c == '\'' ? Lex::code : Lex::sq;
    case Lex::dq_escape:
      return Lex::dq;
    case Lex::sq_escape:
      return Lex::sq;
    case Lex::block:
      return c == '*' ? Lex::block_star : Lex::block;
    case Lex::block_star:
      return c == '/' ? Lex::code : c == '*' ? Lex::block_star : Lex::block;
    case Lex::line:
      // The newline that ends the comment is code again, white space.
      return c == '\\' ? Lex::line_escape : c == '\n' ? Lex::code : Lex::line;
    case Lex::line_escape:
      return c == '\\' ? Lex::line_escape : Lex::line;
    default:
      return state;
  }
}

constexpr bool in_code(Lex state) { return state == Lex::code || state == Lex::code_slash; }

}  // namespace zaptor
