// The table a tree command converts with: a compiled zaptor.bin or a text
// table, told apart by their content.
#pragma once

#include <memory>
#include <string>

#include "engine/table.h"

namespace zaptor {

struct TreeTable {
  std::shared_ptr<const Table> table;  // null when it cannot be used
  std::string path;                    // the file it came from
  std::string error;                   // why not, "FILE:LINE: ..." for a text table's fault
};

// Loads `path`; an empty path means zaptor.bin, else zaptor.txt, in the
// current folder.
TreeTable load_tree_table(const std::string& path);

}  // namespace zaptor
