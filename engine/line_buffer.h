// The line buffer: one source line, the continuation lines a call pulled in,
// and the rewrites made so far.
//
// Scanning only moves forward and a rewrite always starts at the scan
// position, so the text splits into a finished part that never changes again
// and the rest still to scan. The rest lives in work() from head() on; a
// replacement is placed so that it ends where the call ended, and so the text
// after a call never moves. That keeps the cost of a rewrite to the size of
// the call and its replacement, however long the line.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "engine/streams.h"

namespace zaptor {

class LineBuffer {
 public:
  // Empties the buffer; its storage is kept for the next line.
  void clear();
  // Reads the next physical line onto the end of the buffer.
  bool append_line(LineReader& reader) { return reader.read_line(work_); }
  // Sets the text (tests).
  void assign(std::string_view text);

  const std::string& work() const { return work_; }
  std::size_t head() const { return head_; }
  std::size_t end() const { return work_.size(); }
  std::string_view rest() const { return std::string_view(work_).substr(head_); }
  std::string_view finished() const { return done_; }
  // The whole text: finished() followed by rest().
  std::string text() const;

  struct Placed {
    std::size_t start;   // where the replacement now begins
    std::ptrdiff_t shift;  // how far the text after the call moved
  };
  // Replaces work()[pch, call_end) with `replacement`. Text before pch becomes
  // finished; positions before the returned start are no longer valid.
  Placed replace(std::size_t pch, std::size_t call_end, std::string_view replacement);

 private:
  std::string done_;   // finished text
  std::string work_;   // [0, head_) free room, [head_, end) the rest
  std::string spare_;  // storage swapped in when the room runs out
  std::size_t head_ = 0;
};

}  // namespace zaptor
