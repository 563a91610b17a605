// Finds what in a text macro table parses but can never work as its writer
// meant: names the scanner cannot match or that an earlier entry takes,
// lengths that change what matches, format conversions zaptor copies
// instead of converting, and slots and parameters that a format and its
// order disagree on.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "zaptor/table_text.h"

namespace zaptor {

struct TableWarning {
  std::size_t line = 0;  // 1-based
  std::string message;
};

// The warnings for a table that parsed, in line order (those of one line in
// the order of the checks).
std::vector<TableWarning> check_table(const ParsedTable& table);

// One "%" conversion of a format, split as CompiledFormat splits it.
struct FormatSpec {
  std::size_t offset = 0;  // of its "%" in the format
  std::string_view text;   // from the "%" through the conversion character
  enum Kind { kString, kPercent, kVerbatim } kind = kVerbatim;
};

// The conversions of `format` in order; kVerbatim ones are copied to the
// output as they stand.
std::vector<FormatSpec> format_specs(std::string_view format);

}  // namespace zaptor
