// Stops rewriting that would never end.
//
// A format can re-create, behind the replacement's first character, a call
// that the rescan rewrites again (" WinA(%s)" for WinA), and that one again.
// The guard marks every byte that a format wrote itself with the rewrite that
// wrote it (only stretches that hold a first letter: a name begins with one), and carries the marks along when a parameter is copied into a
// replacement. A call whose name a format wrote is a generation deeper than
// the call whose rewrite wrote it. Rewriting never ends only if generations
// grow without bound, and along such a chain the calls cannot keep getting
// shorter; so a call deeper than the table has entries that is no shorter
// than its parent is taken as the sign. Calls written in the source are
// generation 0: nesting of any depth never trips the guard.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/format.h"
#include "engine/line_buffer.h"

namespace zaptor {

class RewriteGuard {
 public:
  // Forgets all marks; `entries` is the number of table entries.
  void reset(std::size_t entries);

  // Asks to rewrite the call at [pch, call_end); false: rewriting would not end.
  bool admit(std::size_t pch, std::size_t call_end);

  using Range = TextRange;
  // Records the rewrite just admitted: the call at [pch, call_end) was
  // replaced as `placed` says, by the output `pieces` of a format whose
  // argument k was the text at slot_ranges[k].
  // `names_written`: some format text of the pieces may begin a name.
  void record(std::size_t pch, std::size_t call_end, LineBuffer::Placed placed,
              const std::vector<FormatPiece>& pieces, const std::vector<Range>& slot_ranges,
              bool names_written);

 private:
  struct Run {  // bytes [begin, end) written by rewrite `id` (1-based)
    std::size_t begin, end;
    std::uint32_t id;
  };
  struct Rewrite {
    std::size_t generation, call_length;
  };
  void take_runs_inside(std::size_t begin, std::size_t end);
  void copy_marks(std::size_t from, std::size_t length, std::size_t to);

  std::size_t limit_ = 1;
  std::vector<Run> runs_;    // by descending position: the first run is at the back
  std::vector<Run> inside_;  // marks of the call being rewritten, ascending
  std::vector<Run> fresh_;   // marks of its replacement, ascending
  std::vector<Rewrite> rewrites_;
  Rewrite pending_{0, 0};
};

}  // namespace zaptor
