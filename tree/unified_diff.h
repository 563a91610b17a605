// Unified diffs of a file's old and new text, as `git apply` and
// `patch -p1` take them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zaptor {

// Appends to `out` the unified diff that turns `old_text` into `new_text`:
// "--- a/PATH", "+++ b/PATH", then hunks with `context` lines of context
// around each change. Lines are split after each "\n"; a last line without
// one is marked "\ No newline at end of file". Bytes are bytes: NUL, CR and
// bytes above 0x7F are compared and written as they are. Nothing is appended
// when the texts are equal.
void unified_diff(std::string_view path, std::string_view old_text, std::string_view new_text,
                  std::size_t context, std::string& out);

}  // namespace zaptor
