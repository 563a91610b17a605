// The line buffer: one source line, the continuation lines a call pulled in,
// and the rewrites made so far.
//
// The text is a sequence of pieces, none of which is ever changed: stretches
// of the source as read, stretches of a format's own text, and units. A
// unit is a parameter that a replacement took over whole when it stood in
// more than one piece; it keeps what the walk over it learnt, so that a
// later walk passes over it in one step. A replacement is made of new
// pieces that refer to the old bytes, so a rewrite costs the number of its
// pieces, never the length of its parameters, and a parameter that a format
// moves is not copied.
//
// Scanning only moves forward and a rewrite always starts at the scan
// position, so the text splits into a finished part, which never changes
// again, and the rest still to scan, kept as a stack whose top is the next
// piece to scan:
//
//   finished (done)   |   rest (a stack: rest_.back() comes first)
//
// Source bytes are kept by their offset in the buffer's own copy of the
// lines read, which only grows; offsets stay valid when it moves.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/lexer.h"
#include "engine/streams.h"
#include "engine/walk_memo.h"

namespace zaptor {

// A character the parameter split reports, and how many times in a row.
struct Report {
  char c;
  std::uint8_t times;
};

struct Piece {
  enum class Kind : std::uint8_t {
    source,   // bytes of the lines read
    text,     // bytes that outlive the line: a format's text, blanks
    written,  // bytes copied into the buffer's own written text
    unit,
  };
  Kind kind = Kind::source;
  // Which occurrence of its bytes this is (0: none of its own). A piece keeps
  // its id while it stays in the rest; a piece made anew (a replacement, the
  // content of a unit taken apart, text joined to it) gets a new one.
  std::uint32_t id = 0;
  std::size_t length = 0;
  union {
    std::size_t at = 0;  // source: offset in source(); written: see written(); unit: its index
    const char* text;    // text: its bytes
  };

  bool is_unit() const { return kind == Kind::unit; }
};

// A unit's references: in the rest, in a call being walked, in a
// replacement being made, and as a piece of another unit (never taken back,
// so the count errs upward). A unit only the call being rewritten holds may
// be extended instead of copied.

// A parameter taken over whole, and what a walk needs to pass over it.
struct Unit {
  std::size_t first = 0, count = 0;  // its pieces, in unit_pieces()
  std::size_t length = 0;
  char first_byte = 0, last_byte = 0;
  bool first_reported = false;       // its first byte is a reported character
  Lex exit = Lex::code;              // the lexer's state after its last byte
  std::size_t reports_begin = 0, reports_end = 0;  // in reports()
  std::size_t refs = 0;
  // A parameter, which a walk may pass in one step; otherwise only the rest
  // of a unit being taken apart (see open_unit()).
  bool passable = true;
};

class LineBuffer {
 public:
  // Without `keep_finished` the finished text is dropped as the scan passes
  // it (for a program that writes nothing of the buffer).
  explicit LineBuffer(bool keep_finished = true) : keep_finished_(keep_finished) {}

  // Empties the buffer; its storage is kept for the next line.
  void clear();
  // Reads the next physical line onto the end of the text.
  bool append_line(LineReader& reader);
  // Sets the text (tests).
  void assign(std::string_view text);

  // The whole text: finished and rest.
  std::string text() const;
  // Writes the whole text.
  void write_to(Output& out);
  // The bytes of the lines read into this buffer.
  std::string_view source() const { return source_; }

  // --- what the scan and the walk work with ---

  std::vector<Piece>& rest() { return rest_; }
  const std::vector<Piece>& rest() const { return rest_; }
  std::vector<Piece>& done() { return done_; }
  std::vector<Report>& reports() { return reports_; }
  const Unit& unit(const Piece& piece) const { return units_[piece.at]; }
  const std::deque<Piece>& unit_pieces() const { return unit_pieces_; }

  // The bytes of a piece that is no unit.
  std::string_view bytes(const Piece& piece) const {
    switch (piece.kind) {
      case Piece::Kind::source:
        return std::string_view(source_).substr(piece.at, piece.length);
      case Piece::Kind::written:
        return std::string_view(front_).substr(front_.size() - piece.at, piece.length);
      default:
        return std::string_view(piece.text, piece.length);
    }
  }
  // Its first `count` bytes, and the rest of it.
  static Piece head(const Piece& piece, std::size_t count);
  static Piece tail(const Piece& piece, std::size_t from);

  Piece source_piece(std::size_t at, std::size_t length) {
    Piece piece;
    piece.id = next_id();
    piece.length = length;
    piece.at = at;
    return piece;
  }
  static Piece text_piece(std::string_view text) {
    Piece piece;
    piece.kind = Piece::Kind::text;
    piece.length = text.size();
    piece.text = text.data();
    return piece;
  }
  std::uint32_t next_id() { return ++last_id_; }

  // Puts `piece` on top of the rest. With `join`, a short piece is copied in
  // front of a short piece below it, so that the text which rewrites leave
  // behind one after the other (the ends of nested calls) stays one piece.
  // Returns whether it joined.
  bool push_rest(const Piece& piece, bool join);

  // Reads the next physical line onto the end of source(); the offset where
  // it begins, or npos at the end of the input (always without a reader).
  std::size_t read_more(LineReader* reader);
  // Whether a read found the end of the input.
  bool input_ended() const { return input_ended_; }

  WalkMemo& memo() { return memo_; }
  // What the buffer did since the last call, in bytes copied and pieces
  // moved (see EngineState::work).
  std::uint64_t take_work() { return std::exchange(work_, 0); }
  void add_work(std::uint64_t work) { work_ += work; }
  // The bytes this line's rewrites wrote themselves: format text, padding,
  // and every copy of a parameter after its first.
  std::size_t& written() { return written_; }

  // A new unit of `pieces` (none of them a partial unit). When the first
  // of them is a unit whose pieces are the last ones any unit took, the new
  // unit shares them and adds only the others after them; with `extend`, a
  // first unit that nothing else holds becomes the new one.
  Piece make_unit(const std::vector<Piece>& pieces, const Unit& summary, bool extend);
  void ref(const Piece& piece) {
    if (piece.is_unit()) ++units_[piece.at].refs;
  }
  void unref(const Piece& piece) {
    if (piece.is_unit()) --units_[piece.at].refs;
  }
  // Replaces the unit on top of the rest by its pieces, each a new occurrence.
  void open_unit();

  // Moves text from the rest to the finished part: one byte of it, taking
  // units apart as far as needed. False when the rest is empty.
  bool finish_one_byte();
  // The finished pieces from scan_from() on are the text the scan may still
  // look back into for a name; those before are written out or dropped.
  std::size_t scan_from() const { return scan_from_; }
  // The scan resumes after everything finished so far.
  void resume_scan();
  // Moves the piece on top of the rest, in which the scan found no call, to
  // the finished part.
  void pass_top();
  // Appends a piece to the finished part; takes the last one back.
  void finish(const Piece& piece);
  Piece unfinish();
  // The newlines of the source before its byte `offset`: the line that byte
  // stands on, counted from the buffer's first.
  std::uint64_t newlines_before(std::size_t offset) const;

  // Appends the bytes of `piece`, units taken apart, to `out`.
  template <typename Sink>
  void emit(const Piece& piece, Sink& out) const;

 private:
  void compact_done();

  // Written text grows towards its front, so that a piece copied in front
  // of the one on top of the rest joins it: a written piece's `at` is the
  // distance of its first byte from the end, which growing keeps.
  void write_front(std::string_view bytes);

  std::string source_;
  std::string front_;
  std::size_t front_used_ = 0;  // the written text is the last front_used_ bytes of front_
  std::vector<Piece> rest_;
  std::vector<Piece> done_;
  std::string finished_;           // finished text written out of done_
  std::size_t scan_from_ = 0;
  std::vector<std::size_t> line_starts_;  // in source_, of every line after the first
  std::deque<Unit> units_;         // in blocks: no copy of them all as they grow
  std::deque<Piece> unit_pieces_;
  std::vector<Report> reports_;
  WalkMemo memo_;
  std::size_t written_ = 0;
  std::uint64_t work_ = 0;
  bool input_ended_ = false;
  std::uint32_t last_id_ = 0;
  bool keep_finished_;
};

template <typename Sink>
void LineBuffer::emit(const Piece& piece, Sink& out) const {
  if (!piece.is_unit()) {
    out(bytes(piece));
    return;
  }
  // Units nest as deep as the rewrites that made them: no recursion.
  std::vector<const Piece*> stack{&piece};
  while (!stack.empty()) {
    const Piece* p = stack.back();
    stack.pop_back();
    if (!p->is_unit()) {
      out(bytes(*p));
      continue;
    }
    const Unit& u = unit(*p);
    for (std::size_t i = u.count; i > 0; --i) stack.push_back(&unit_pieces_[u.first + i - 1]);
  }
}

}  // namespace zaptor
