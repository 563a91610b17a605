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
  std::string word;  // a name gathered from several pieces
};

// The engine's short cuts, each of which gives the same bytes as the plain
// way; tests and the fuzz harnesses switch them off to check exactly that.
struct ShortCuts {
  bool notes = true;        // take a nested stretch from the note an earlier walk made
  bool units = true;        // pass over a parameter taken over whole in one step
  bool checkpoints = true;  // stop a walk that follows one that found no end
};

// Everything the engine keeps for the whole process, in one place.
struct EngineState {
  std::vector<_apitype> apilist;  // the macro table
  std::int32_t api_num = -1;      // valid entries; negative reads as none
  std::string chFirstBuf;         // distinct first letters of the names
  std::int32_t token_length = 0;  // length of the name get_token found
  int token_entry = -1;           // and the entry it names, for FindApi
  bool bVerbose = false;          // echo continuation lines to fp_err
  bool bEchoFormatted = false;    // write each replacement to fp_dst
  LineReader* fp_src = nullptr;   // continuation lines come from here
  Output* fp_dst = nullptr;       // reports and echoed replacements
  Output* fp_err = nullptr;       // verbose echo
  ShortCuts short_cuts;
  std::size_t growth_floor = kGrowthFloor;  // tests and fuzzers may lower it, to keep runs short
  // What the engine did, in bytes it read, copied or wrote and pieces it
  // moved, so that tests can bound its cost by its input and output.
  std::uint64_t work = 0;
  std::uint64_t passed = 0;   // bytes the short cuts passed over without reading them
  std::uint64_t written = 0;  // what the lines' rewrites wrote (LineBuffer::written()), in all
  ApiIndex index;                 // built by index_table()
  std::vector<std::unique_ptr<CompiledFormat>> formats;  // by entry, read at first use

  // Entry `index`'s format; null for an entry without one.
  const CompiledFormat* format(std::size_t index);
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
  endless_rewrite,  // the rewrites keep writing: they would never end
};

// Scans the line in `buffer`, rewriting every call it reaches. `first` is
// the first call of the line, as an offset in its source, when the caller
// has found it already.
ScanStatus line_scan(LineBuffer& buffer, std::optional<ApiIndex::Call> first = std::nullopt);

// The scanner's steps. The scan position is the top of buffer.rest(); a
// name may begin in the text the scan passed since it last resumed.
// Moves finished text out of the rest until a call's name stands on top of
// it; false when the line holds no further call. Sets token_length and
// token_entry.
bool get_token(LineBuffer& buffer);

// How one step of the scan ended.
enum class Step { rewritten, no_call, endless };
// Rewrites the call whose name stands on top of the rest.
Step FindApi(LineBuffer& buffer);

}  // namespace zaptor
