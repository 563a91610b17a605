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

#include "engine/format.h"
#include "zaptor/table_text.h"

namespace zaptor {

struct TableWarning {
  std::size_t line = 0;  // 1-based
  std::string message;
};

// The warnings for a table that parsed, in line order (those of one line in
// the order of the checks).
std::vector<TableWarning> check_table(const ParsedTable& table);

}  // namespace zaptor
