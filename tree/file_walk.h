// The files a tree command works on: its PATH operands, folders walked
// recursively in a sorted, stable order.
#pragma once

#include <string>
#include <vector>

namespace zaptor {

struct WalkOptions {
  std::vector<std::string> include;  // globs; empty: C and C++ sources and headers
  std::vector<std::string> exclude;  // globs; a folder that matches is not walked
  bool follow = false;               // follow symbolic links met in folders
  std::vector<std::string> skip;     // folders never walked (copy's DIR), when they exist
};

struct WalkedFile {
  std::string path;      // as shown to the user: the operand, then the path inside it
  std::string relative;  // where a copy goes under copy's DIR
};

struct WalkResult {
  std::vector<WalkedFile> files;  // in the order of the operands, each folder sorted
  std::vector<std::string> notes;   // "PATH: why it was skipped", for the standard error
  std::vector<std::string> errors;  // "PATH: what failed" (a missing operand, an unreadable folder)
};

WalkResult walk_paths(const std::vector<std::string>& operands, const WalkOptions& options);

}  // namespace zaptor
