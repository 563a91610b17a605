// The call rewriting engine: the macro table, the scanner that finds calls
// of tabled functions in a line, and the rewriting of each call by the
// format of its entry.
#pragma once

#include <array>
#include <memory>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/chartype.h"
#include "engine/format.h"
#include "engine/line_buffer.h"
#include "engine/rewrite_guard.h"
#include "engine/streams.h"

namespace zaptor {

inline constexpr int kOrderSlots = 8;  // arguments handed to a format

// One macro table entry.
struct _apitype {
  std::optional<std::string> pchName;    // nullopt: never matches
  std::optional<std::string> pchformat;  // nullopt: calls are deleted
  std::int32_t cb = 0;                   // name length used for matching
  std::int32_t cParms = 0;               // declared parameter count, kept only
  std::array<std::int32_t, kOrderSlots> iOrder{-1, -1, -1, -1, -1, -1, -1, -1};
};

// Finds the first entry, in table order, whose name matches a word, and the
// calls that stand before a "(".
class ApiIndex {
 public:
  void build(const std::vector<_apitype>& apilist, std::int32_t api_num,
             std::string_view chFirstBuf);
  // Index of the matching entry, or -1.
  int find(std::string_view word) const;
  bool is_first_letter(char c) const { return first_[static_cast<unsigned char>(c)]; }
  // The alphanumeric first letters.
  std::string_view first_letters() const { return first_letters_; }

  // The call, if any, that the scan from `from` finds with the "(" at
  // `open`: the candidate word before it (white space between them), taken
  // from its first letter or from the tail the scan reaches after a first
  // letter at which it matched nothing. Only text from `from` on counts;
  // with `one_line` the white space may not hold a newline.
  struct Call {
    std::size_t pch;
    std::size_t length;
    int entry;
  };
  std::optional<Call> call_before(std::string_view text, std::size_t open, std::size_t from,
                                  bool one_line) const {
    std::size_t end = open;
    while (end > from && is_space(text[end - 1])) {
      if (one_line && text[end - 1] == '\n') return std::nullopt;
      --end;
    }
    // Most "(" follow a byte that ends no name: one look rejects them.
    if (end == from || !last_[static_cast<unsigned char>(text[end - 1])]) return std::nullopt;
    return call_ending(text, end, from);
  }

 private:
  struct Slot {
    std::uint32_t tag = 0;  // high half of the key's hash
    int entry = -1;         // -1: free
  };
  static std::uint64_t hash(std::string_view word);
  // The call whose name ends at `end`, with "(" after it.
  std::optional<Call> call_ending(std::string_view text, std::size_t end, std::size_t from) const;

  std::array<bool, 256> first_{};             // alphanumeric first letters
  std::string first_letters_;
  std::array<bool, 256> last_{};              // last letters of names
  std::array<bool, 256> single_{};            // names of one letter
  std::array<std::uint64_t, 1024> end_pairs_{};  // bit: some name ends in these two bytes
  std::array<std::uint64_t, 256> lengths_{};  // by first letter: bit n, some name of length n (bit 0: longer than 63)
  std::vector<Slot> slots_;                   // open addressing; size a power of two
  std::vector<std::string_view> keys_;        // by entry: the word it matches
};

// Work areas of one call's rewrite, kept so that their storage is reused.
struct CallScratch {
  std::vector<TextRange> parms;        // parameters, in the line
  std::vector<TextRange> slots;        // each format argument's place in the line
  std::vector<FormatPiece> pieces;     // the replacement
  struct Open {
    std::size_t pos, reports;
  };
  std::vector<Open> opens;             // parentheses open in the walk
  std::vector<SpanMemo::Note> notes;   // long stretches the walk went over
  std::vector<SpanMemo::NoteReports> note_reports;
  RewriteGuard guard;
};

// The engine's short cuts, each of which gives the same bytes as the plain
// way; tests and the fuzz harnesses switch them off to check exactly that.
struct ShortCuts {
  bool notes = true;     // take a long nested stretch from the memo, not its text
  bool in_place = true;  // leave arguments where they stand, move them without scratch
};

// Everything the engine keeps for the whole process, in one place.
struct EngineState {
  std::vector<_apitype> apilist;  // the macro table
  std::int32_t api_num = -1;      // valid entries; negative reads as none
  std::string chFirstBuf;         // distinct first letters of the names
  std::int32_t token_length = 0;  // length of the word get_token returned
  int token_entry = -1;           // and the entry it names, for FindApi
  bool bVerbose = false;          // echo continuation lines to fp_err
  bool bEchoFormatted = false;    // write each replacement to fp_dst
  LineReader* fp_src = nullptr;   // continuation lines come from here
  Output* fp_dst = nullptr;       // reports and echoed replacements
  Output* fp_err = nullptr;       // verbose echo
  ShortCuts short_cuts;
  ApiIndex index;                 // built by index_table()
  // An entry's format, read once, and whether it takes the call's
  // parameters in their order, each at most once.
  struct EntryFormat {
    CompiledFormat format;
    bool in_order;
  };
  std::vector<std::unique_ptr<EntryFormat>> formats;  // by entry, read at first use

  // Entry `index`'s format; null for an entry without one.
  const EntryFormat* format(std::size_t index);
  CallScratch scratch;
};

EngineState& engine();
// Empties the table and the flags and forgets the streams.
void reset_engine();
// Must follow every change of apilist, api_num or chFirstBuf.
void index_table();

// How the scan of one line ended.
enum class ScanStatus {
  ok,
  unfinished_call,  // the input ended inside a call: the rest stays as read
  endless_rewrite,  // a format keeps re-creating a call it rewrites
};

// Scans the line in `buffer`, rewriting every call it reaches. `first` is
// the first call of the line when the caller has found it already.
ScanStatus line_scan(LineBuffer& buffer, std::optional<ApiIndex::Call> first = std::nullopt);

// The scanner's steps. Positions index buffer.work().
// The next candidate word at or after pch (npos: none); sets token_length
// and token_entry.
// Words that no "(" follows, or that name no entry, cannot start a call,
// and are passed over.
std::size_t get_token(const LineBuffer& buffer, std::size_t pch);

// How one step of the scan ended, and where get_token goes on.
struct ScanStep {
  ScanStatus status;
  std::size_t resume;
};
// Looks up the candidate word at pch and rewrites the call it starts, if any.
ScanStep FindApi(LineBuffer& buffer, std::size_t pch);

}  // namespace zaptor
