// The readable form of a macro table, which zaptor-table compiles into a
// compiled macro file and decompiles back:
//
//   # comment to the end of a line; blank lines allowed
//   entry                 # starts a new entry; every field below is optional
//   name   WinSendMsg     # a bare word or a quoted string; omitted or "" = no name
//   cb     10             # defaults to the length of the name
//   parms  4              # cParms, defaults to 0
//   order  1 -1 2         # 1 to 8 values of -1 or 0-7; missing trailing slots are -1
//   format "S %s\n"       # a quoted string; omitted or "" = no format (calls deleted)
//
// Quoted strings take the escapes \n \t \r \\ \" \' \a \b \f \v \? and \xHH
// (two hex digits, not \x00); any other byte stands for itself, and a '#'
// inside quotes is not a comment. Integers are 32-bit signed decimal.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/engine.h"

namespace zaptor {

struct TextError {
  std::size_t line = 0;  // 1-based
  std::string message;
};

// Where an entry stands in the text: the 1-based line of its `entry` keyword
// and of each field, 0 for a field it does not give.
struct EntryLines {
  std::size_t entry = 0;
  std::size_t name = 0;
  std::size_t cb = 0;
  std::size_t parms = 0;
  std::size_t order = 0;
  std::size_t format = 0;
  std::size_t order_values = 0;  // how many values the order line gives
};

struct ParsedTable {
  std::vector<_apitype> entries;
  std::vector<EntryLines> lines;   // one for each of entries
  std::optional<TextError> error;  // the first fault; entries are then incomplete
  bool ok() const { return !error.has_value(); }
};

// Reads a text table. Everything the parser accepts can be encoded into a
// compiled file and loads back unchanged.
ParsedTable parse_table_text(std::string_view text);

// Writes the text form of a table: one paragraph per entry, fields in the
// order above, cb only where it differs from the name's length, order
// without its trailing -1 (no line when all are -1), blank lines between
// entries. parse_table_text reads it back into the same table.
std::string format_table_text(const std::vector<_apitype>& entries);

// True for a text that can stand unquoted: a non-empty run of A-Z a-z 0-9 _.
bool is_bare_word(std::string_view text);

// `bytes` in double quotes, with \n \t \\ \" and \xHH for every other
// control byte, 0x7F and every byte from 0x80 up.
std::string quote_text(std::string_view bytes);

}  // namespace zaptor
