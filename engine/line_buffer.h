// The line buffer: one source line, the continuation lines a call pulled in,
// and the rewrites made so far.
//
// Scanning only moves forward and a rewrite always starts at the scan
// position, so the text splits into a finished part that never changes again
// and the rest still to scan, with a gap between them:
//
//   [0, kept)  finished   [kept, head)  gap   [head, end)  rest
//
// A new line starts behind a small gap, so that replacements a little
// longer than their calls fit without moving anything.
// A replacement is placed so that it ends where the call ended: the text
// after the call never moves, and a parameter that keeps its distance from
// the end of the call stays where it is, uncopied. Only when the gap cannot
// take a longer replacement does the text after the call move on, by up to
// an eighth of the line more than needed, so that growing lines cost
// amortised linear time. A rewrite thus costs the size of the call and of what its
// replacement writes, however long the line.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "engine/format.h"
#include "engine/span_memo.h"
#include "engine/streams.h"

namespace zaptor {

// A stretch of the buffer's text: [begin, end).
struct TextRange {
  std::size_t begin, end;
};

// What replaces a call: the bytes of `pieces`, whose argument k is the text
// at slots[k]; `length` bytes in all. With `in_order` the arguments' texts
// come in the order they stand in, none twice. `notes` are what the walk
// over the call learnt of long stretches inside it.
struct Replacement {
  const std::vector<FormatPiece>& pieces;
  const std::vector<TextRange>& slots;
  std::size_t length;
  bool in_order;
  const std::vector<SpanMemo::Note>& notes;
  const std::vector<SpanMemo::NoteReports>& note_reports;
};

class LineBuffer {
 public:
  // Without `keep_finished` the finished text is dropped as the scan passes
  // it (for a program that writes nothing of the buffer).
  explicit LineBuffer(bool keep_finished = true) : keep_finished_(keep_finished) {}

  // Empties the buffer; its storage is kept for the next line.
  void clear();
  // Reads the next physical line onto the end of the buffer.
  bool append_line(LineReader& reader) { return reader.read_line(text_); }
  // Sets the text (tests).
  void assign(std::string_view text);

  const std::string& work() const { return text_; }
  std::size_t head() const { return head_; }
  std::size_t end() const { return text_.size(); }
  std::string_view rest() const { return std::string_view(text_).substr(head_); }
  std::string_view finished() const { return std::string_view(text_).substr(0, kept_); }
  // The whole text: finished() followed by rest().
  std::string text() const;

  SpanMemo& memo() { return memo_; }

  struct Placed {
    std::size_t start;  // where the replacement now begins
    std::size_t shift;  // how far the text after the call moved on
  };
  // Replaces work()[pch, call_end) with `replacement`. Text before pch
  // becomes finished; positions before the returned start are no longer
  // valid.
  Placed replace(std::size_t pch, std::size_t call_end, const Replacement& replacement);

 private:
  void finish(std::size_t pch);
  std::size_t make_room(std::size_t call_end, std::size_t length);
  void update_memo(std::size_t pch, std::size_t call_end, std::size_t start, bool moved,
                    const Replacement& replacement);
  void place(std::size_t start, const Replacement& replacement);
  void place_through_scratch(std::size_t start, const std::vector<FormatPiece>& pieces,
                             const std::vector<TextRange>& slots);
  void write_format_text(std::size_t at, const FormatPiece& piece);
  void move_bytes(std::size_t from, std::size_t length, std::size_t to);

  static constexpr std::size_t kLeadingGap = 64;

  std::string text_ = std::string(kLeadingGap, ' ');
  std::size_t kept_ = 0;
  std::size_t head_ = kLeadingGap;
  bool keep_finished_;
  std::string scratch_;             // argument bytes, when they cannot move in place
  std::vector<TextRange> in_place_; // arguments a replacement left where they were
  SpanMemo memo_;
};

}  // namespace zaptor
