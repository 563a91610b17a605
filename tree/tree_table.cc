#include "tree/tree_table.h"

#include <unistd.h>

#include "tree/source_file.h"
#include "zaptor/compiled.h"
#include "zaptor/table_text.h"

namespace zaptor {

namespace {

std::string default_table() {
  for (const char* name : {"zaptor.bin", "zaptor.txt"}) {
    if (::access(name, F_OK) == 0) return name;
  }
  return {};
}

// Every compiled table with a record holds NUL bytes (the padding of its
// fields, the high bytes of its count); a text table never does.
bool is_compiled(std::string_view bytes) { return bytes.find('\0') != std::string_view::npos; }

}  // namespace

TreeTable load_tree_table(const std::string& path) {
  TreeTable result;
  result.path = path.empty() ? default_table() : path;
  if (result.path.empty()) {
    result.error = "no table: give one with -t FILE, or put zaptor.bin or zaptor.txt in the current folder";
    return result;
  }
  const ReadFile file = read_regular_file(result.path);
  if (!file.error.empty()) {
    result.error = "cannot read the table " + result.path + ": " + file.error;
    return result;
  }
  if (is_compiled(file.bytes())) {
    Decoded decoded = decode_compiled(file.bytes());
    if (!decoded.status.ok()) {
      result.error = result.path + " is damaged: it announces " + std::to_string(decoded.status.announced) +
                     " records but holds " + std::to_string(decoded.status.loaded);
      return result;
    }
    result.table = make_table(std::move(decoded.entries));
    return result;
  }
  ParsedTable parsed = parse_table_text(file.bytes());
  if (!parsed.ok()) {
    result.error = result.path + ":" + std::to_string(parsed.error->line) + ": " + parsed.error->message;
    return result;
  }
  result.table = make_table(std::move(parsed.entries));
  return result;
}

}  // namespace zaptor
