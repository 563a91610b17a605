// The call rewriting engine: the macro table, the scanner that finds calls
// of tabled functions in a line, and the rewriting of each call by the
// format of its entry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/events.h"
#include "engine/format.h"
#include "engine/line_buffer.h"
#include "engine/streams.h"
#include "engine/table.h"

namespace zaptor {

// The rewrites of one line may write this many times the line's own text,
// or kGrowthFloor bytes if that is more, before the line is taken for one
// whose rewriting never ends (see found()).
inline constexpr std::size_t kGrowthRatio = 16;
inline constexpr std::size_t kGrowthFloor = std::size_t{1} << 20;

// Why a line's rewrites were stopped, as the programs tell it.
std::string growth_stop_reason();

// A place in the pieces of a call: piece index, byte offset in it.
struct CallPosition {
  std::size_t piece, offset;
};

// Work areas of one call's rewrite, kept so that their storage is reused.
struct CallScratch {
  std::vector<Piece> call;  // the call's pieces, from its name through ")"
  // The call's "(", its commas at depth 1 (the first eight) and its ")",
  // with the lexer's state before each and the reports made before it.
  struct Bound {
    CallPosition at;
    Lex before;
    std::size_t reports;
    std::uint64_t walked;  // bytes the walk read up to here
  };
  std::vector<Bound> bounds;
  // Units the walk took apart to read inside a literal or comment: the
  // unit, and where its pieces begin in `call`.
  struct Opened {
    Piece unit;
    std::size_t at;
  };
  std::vector<Opened> opened;
  // Opens stay small, since deep nesting holds many: one whose numbers do
  // not fit 32 bits is not kept, and its stretch is not noted.
  struct Open {
    std::uint32_t offset;  // a "(" that may start a call, inside this one, in its piece
    std::uint32_t piece;   // in `call`
    std::uint32_t depth;   // the depth it opened
    std::uint32_t reports, commas;
  };
  std::deque<Open> opens;
  std::vector<std::uint32_t> open_commas;  // commas of the opens, from their "(", innermost last
  struct Mark {
    WalkMemo::Place place;
    std::size_t depth, lowest;  // depth here, lowest depth until the next mark
  };
  std::vector<Mark> marks;  // checkpoints this walk passed
  std::vector<FormatPiece> pieces;
  std::vector<Piece> replacement;
  std::vector<Piece> param_pieces;
  std::string word;            // a name gathered from several pieces
  std::string parameter_text;  // a parameter the events asked for
};

// The engine's short cuts, each of which gives the same bytes as the plain
// way; tests and the fuzz harnesses switch them off to check exactly that.
struct ShortCuts {
  bool notes = true;        // take a nested stretch from the note an earlier walk made
  bool units = true;        // pass over a parameter taken over whole in one step
  bool checkpoints = true;  // stop a walk that follows one that found no end
};

// How the scan of one line ended.
enum class ScanStatus {
  ok,
  endless_rewrite,  // the rewrites keep writing: they would never end
};

// How a source loop ended.
struct SourceResult {
  ScanStatus status;   // endless_rewrite stops the loop
  std::uint64_t line;  // the physical line whose scan stopped it
};

// How one step of the scan ended.
enum class Step { rewritten, no_call, endless };

// One conversion: a table, the flags and streams of one run, and the work
// areas of its scan. Any number of conversions may run at once, in threads
// of their own, over one shared table: nothing here is shared but the
// table, which nobody changes.
class Conversion {
 public:
  explicit Conversion(std::shared_ptr<const Table> table);
  Conversion(const Conversion&) = delete;
  Conversion& operator=(const Conversion&) = delete;

  const Table& table() const { return *table_; }

  bool bVerbose = false;          // echo continuation lines to fp_err
  bool bEchoFormatted = false;    // write each replacement to fp_dst
  LineReader* fp_src = nullptr;   // continuation lines come from here
  Output* fp_dst = nullptr;       // reports and echoed replacements
  Output* fp_err = nullptr;       // verbose echo
  // Where the conversion tells what it did; null: each report as a line
  // "Invalid character C" on fp_dst, as zaptor and tallyx write them.
  Events* events = nullptr;
  ShortCuts short_cuts;
  std::size_t growth_floor = kGrowthFloor;  // tests and fuzzers may lower it, to keep runs short

  std::int32_t token_length = 0;  // length of the name get_token found
  int token_entry = -1;           // and the entry it names, for FindApi
  std::uint64_t buffer_line = 1;  // the source line the buffer being scanned begins with

  // What the engine did, in bytes it read, copied or wrote and pieces it
  // moved, so that tests can bound its cost by its input and output.
  std::uint64_t work = 0;
  std::uint64_t passed = 0;   // bytes the short cuts passed over without reading them
  std::uint64_t written = 0;  // what the lines' rewrites wrote (LineBuffer::written()), in all

  // Reads `source` line by line and scans each line; after each scan the
  // whole buffer is written to `copy_to` (when given). With bVerbose every
  // line read is echoed to fp_err. Stops early when `copy_to` or fp_dst has
  // failed.
  SourceResult process_source(LineReader& source, Output* copy_to);

  // Scans the line in `buffer`, rewriting every call it reaches. `first` is
  // the first call of the line, as an offset in its source, when the caller
  // has found it already.
  ScanStatus line_scan(LineBuffer& buffer, std::optional<ApiIndex::Call> first = std::nullopt);

  // The scanner's steps. The scan position is the top of buffer.rest(); a
  // name may begin in the text the scan passed since it last resumed.
  // Moves finished text out of the rest until a call's name stands on top
  // of it; false when the line holds no further call. Sets token_length
  // and token_entry.
  bool get_token(LineBuffer& buffer);
  // Rewrites the call whose name stands on top of the rest.
  Step FindApi(LineBuffer& buffer);
  // Captures and rewrites the call of entry `index` whose name stands on
  // top of the buffer's rest.
  Step found(LineBuffer& buffer, int index);
  // Reads the next physical line onto the end of the buffer's source
  // (echoed to fp_err in verbose mode): the offset where it begins, or npos
  // at the end of the input.
  std::size_t add_buff(LineBuffer& buffer);

  CallScratch& scratch() { return scratch_; }
  Events& events_to() { return events != nullptr ? *events : report_lines_; }
  // The source line of the call whose name stands on top of the rest.
  std::uint64_t call_line(const LineBuffer& buffer);

 private:
  std::shared_ptr<const Table> table_;
  ReportLines report_lines_{&fp_dst};
  CallScratch scratch_;
  std::uint64_t last_call_line_ = 1;
};

}  // namespace zaptor
