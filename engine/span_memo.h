// What the walks over calls learnt about long parenthesised stretches, so
// that a call nested in another is not walked again at every level.
//
// Rewriting a call whose parameter holds another call leaves that parameter
// in the replacement, and the scan then captures the inner call, walking its
// text a second time; calls nested N deep would be walked N times over. So a
// walk notes, for every parenthesised stretch inside a call at least
// kMemoSpan bytes long, where it closes and which characters it reports.
// A later walk that meets the same "(" takes the note instead of the text.
// A note holds as long as the text it covers is unchanged; the line buffer
// forgets the notes of every stretch it writes over or moves.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace zaptor {

inline constexpr std::size_t kMemoSpan = 256;

// A character the parameter split reports, and how many times in a row.
struct Report {
  char c;
  std::uint8_t times;
};

class SpanMemo {
 public:
  struct Span {
    std::size_t close;  // position of the matching ")"
    std::size_t reports_begin, reports_end;  // its reports, in reports()
  };

  bool empty() const { return spans_.empty(); }
  void clear();

  // The note of the stretch whose "(" is at `open`, or null.
  const Span* find(std::size_t open) const;
  void record(std::size_t open, const Span& span) { spans_[open] = span; }

  // Forgets the stretches whose "(" lies in text[begin, end).
  void forget(std::string_view text, std::size_t begin, std::size_t end);
  // The stretches whose "(" lies in text[begin, end) move `by` bytes on.
  void shift(std::string_view text, std::size_t begin, std::size_t end, std::size_t by);

  // The reports of the walks made in this line, in order; a stretch's
  // reports are a range of them.
  std::vector<Report>& reports() { return reports_; }

 private:
  std::unordered_map<std::size_t, Span> spans_;
  std::vector<Report> reports_;
  std::vector<std::pair<std::size_t, Span>> moving_;
};

}  // namespace zaptor
