// What the walks over calls learnt about long parenthesised stretches, so
// that a call nested in another is not walked again at every level.
//
// Rewriting a call whose parameter holds another call leaves that parameter
// in the replacement, and the scan then captures the inner call, walking its
// text a second time; calls nested N deep would be walked N times over. So a
// walk notes, for every parenthesised stretch inside a call at least
// kMemoSpan bytes long, where it closes and which characters it reports.
// A later walk that meets the same "(" takes the note instead of the text.
// A note holds as long as the text it covers is unchanged: the line buffer
// keeps the notes of a call's walk only for the arguments that its
// replacement leaves in place, and forgets those of every stretch it writes
// over or moves.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
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
  // What a walk learnt of one stretch; the reports of the few stretches
  // that have any come aside.
  struct Note {
    std::size_t open, close;
  };
  struct NoteReports {
    std::size_t open, begin, end;
  };

  bool empty() const { return count_ == 0; }
  void clear();

  // The note of the stretch whose "(" is at `open`.
  std::optional<Span> find(std::size_t open) const;
  void record(const Note& note);
  void record_reports(const NoteReports& reports);

  // Forgets the stretches whose "(" lies in text[begin, end).
  void forget(std::string_view text, std::size_t begin, std::size_t end);
  // The stretches whose "(" lies in text[begin, end) move `by` bytes on.
  void shift(std::string_view text, std::size_t begin, std::size_t end, std::size_t by);

  // The reports of the walks made in this line, in order; a stretch's
  // reports are a range of them.
  std::vector<Report>& reports() { return reports_; }

 private:
  // Open addressing by the position of the "(": a table that is reused
  // from line to line without allocating, and that a line with no long
  // stretch never touches. The few stretches with reports keep their range
  // aside, so that a slot takes two words.
  static constexpr std::size_t kFree = ~std::size_t{0};
  static constexpr std::size_t kGone = kFree - 1;
  static constexpr std::size_t kHasReports = std::size_t{1} << (sizeof(std::size_t) * 8 - 1);
  struct Slot {
    std::size_t open = kFree;  // kFree, kGone (forgotten) or a position
    std::size_t close = 0;     // with kHasReports when it has reports
  };
  std::size_t home(std::size_t open) const;
  std::size_t index_of(std::size_t open) const;  // kFree: no note
  void erase(std::size_t open);
  void grow();
  void insert(std::size_t open, std::size_t close);

  std::vector<Slot> slots_;  // size a power of two
  std::size_t count_ = 0;    // live notes
  std::size_t used_ = 0;     // live and forgotten slots
  std::unordered_map<std::size_t, std::pair<std::size_t, std::size_t>> report_ranges_;
  std::vector<Report> reports_;
  std::vector<std::pair<Note, Span>> moving_;
};

}  // namespace zaptor
