// The assertion guards an invariant of the capture; it stays active in
// every build.
#undef NDEBUG
#include "engine/walk.h"

#include <algorithm>
#include <cassert>
#include <limits>


namespace zaptor {

namespace {

constexpr std::size_t kMaxCommas = 8;  // no format takes a parameter past the eighth

// A byte's place in the storage of its piece, the same in every piece made
// of that piece, and growing along it.
std::uint64_t place_of(const Piece& piece, std::size_t pos) {
  switch (piece.kind) {
    case Piece::Kind::source:
      return piece.at + pos;
    case Piece::Kind::written:
      return pos - piece.at;  // written text grows towards its front
    default:
      return reinterpret_cast<std::uintptr_t>(piece.text) + pos;
  }
}

class Walker {
 public:
  Walker(Conversion& conversion, LineBuffer& buffer, bool mark, std::size_t open)
      : c_(conversion),
        b_(buffer),
        s_(conversion.scratch()),
        memo_(buffer.memo()),
        reports_(buffer.reports()),
        cuts_(conversion.short_cuts),
        index_(conversion.table().index()),
        mark_(mark),
        pos_(open) {}

  WalkEnd run();

 private:
  WalkEnd walk();
  Piece& current() { return s_.call.back(); }
  std::size_t current_index() const { return s_.call.size() - 1; }
  enum class Next { piece, end, merged };
  Next next_piece();
  void pass_unit(const Piece& piece);
  void copy_reports(std::size_t begin, std::size_t end);
  bool take_root_note();
  bool take_note();
  bool may_start_call(std::string_view view) const;
  void open(std::string_view view);
  bool close();
  void comma();
  void bound();
  bool at_mark(const Piece& piece, std::uint64_t at);
  void commit_marks(std::size_t future_lowest);
  bool step(std::string_view view, std::size_t limit);
  bool on_open(std::string_view view);
  void on_literal(char quote);
  void on_slash();
  void on_comment(char second);
  void on_invalid(char c);

  Conversion& c_;
  LineBuffer& b_;
  CallScratch& s_;
  WalkMemo& memo_;
  std::vector<Report>& reports_;
  const ShortCuts& cuts_;
  const ApiIndex& index_;
  const bool mark_;            // leave checkpoints: the input has ended
  std::size_t pos_;            // next byte of current()
  Lex state_ = Lex::code;
  bool after_slash_ = false;   // the byte in hand follows a "/" of code
  std::uint64_t walked_ = 0;   // bytes read, pieces taken
  std::uint64_t passed_ = 0;   // bytes passed over by notes and units
  std::size_t depth_ = 1;
  char prev_ = '(';            // the byte before the one in hand
};

void Walker::copy_reports(std::size_t begin, std::size_t end) {
  walked_ += end - begin;
  // Copies from the log onto its own end: room first, so nothing moves
  // while it is read (and the room grows by half at least, as push_back's).
  const std::size_t need = reports_.size() + (end - begin);
  if (need > reports_.capacity()) reports_.reserve(std::max(need, reports_.capacity() + reports_.capacity() / 2));
  for (std::size_t i = begin; i < end; ++i) reports_.push_back(reports_[i]);
}

// A unit is a parameter walked before, which stood between delimiters and
// so opens and closes nothing and holds no comma of its own level; only its
// first byte's report depends on the byte before it.
void Walker::pass_unit(const Piece& piece) {
  const Unit& u = b_.unit(piece);
  const std::size_t first = reports_.size();
  copy_reports(u.reports_begin, u.reports_end);
  if (u.first_reported && reports_.size() > first) reports_[first].times = report_times(prev_);
  prev_ = u.last_byte;
  state_ = u.exit;
}

// The next piece of the call: from the rest, or a line read from the source.
// `merged`: a unit passed in one step stands where a walk that found no end
// passed with fewer parentheses open.
Walker::Next Walker::next_piece() {
  std::vector<Piece>& rest = b_.rest();
  for (;;) {
    if (rest.empty()) {
      const std::size_t at = c_.add_buff(b_);
      if (at == std::string_view::npos) return Next::end;
      const std::size_t added = b_.source().size() - at;
      Piece& last = current();
      if (last.kind == Piece::Kind::source && last.at + last.length == at) {
        last.length += added;  // one piece of source over all its lines
      } else {
        s_.call.push_back(b_.source_piece(at, added));
        pos_ = 0;
      }
      return Next::piece;
    }
    const Piece piece = rest.back();
    rest.pop_back();
    ++walked_;
    if (!piece.is_unit()) {
      s_.call.push_back(piece);
      pos_ = 0;
      return Next::piece;
    }
    if (state_ == Lex::code && cuts_.units && b_.unit(piece).passable) {
      if (mark_ && at_mark(piece, piece.at)) {
        s_.call.push_back(piece);
        pos_ = 0;
        return Next::merged;
      }
      passed_ += piece.length;
      pass_unit(piece);
      s_.call.push_back(piece);
      pos_ = piece.length;
      continue;
    }
    if (cuts_.units && b_.unit(piece).passable) s_.opened.push_back({piece, s_.call.size()});
    rest.push_back(piece);
    b_.open_unit();
  }
}

bool Walker::take_root_note() {
  const Piece& piece = current();
  if (!cuts_.notes || piece.kind != Piece::Kind::source) return false;
  const WalkMemo::Note* note = memo_.note(piece.at + pos_);
  if (note == nullptr || note->close >= piece.at + piece.length) return false;
  const std::size_t at = current_index();
  const std::size_t first = reports_.size();
  copy_reports(note->reports_begin, note->reports_end);
  passed_ += note->close - piece.at - pos_;
  s_.bounds.push_back({{at, pos_}, Lex::code, first, walked_});
  for (std::size_t i = note->commas_begin; i < note->commas_begin + note->commas; ++i) {
    s_.bounds.push_back({{at, pos_ + memo_.commas()[i]}, Lex::code, reports_.size(), walked_});
  }
  s_.bounds.push_back({{at, note->close - piece.at}, Lex::code, reports_.size(), walked_});
  pos_ = note->close - piece.at + 1;
  return true;
}

bool Walker::take_note() {
  const Piece& piece = current();
  if (!cuts_.notes || piece.kind != Piece::Kind::source) return false;
  const WalkMemo::Note* note = memo_.note(piece.at + pos_);
  if (note == nullptr || note->close >= piece.at + piece.length) return false;
  copy_reports(note->reports_begin, note->reports_end);
  const std::size_t after = note->close - piece.at + 1;
  walked_ -= after - pos_ - 1;  // the stretch is passed in one step, not read
  passed_ += after - pos_;
  pos_ = after;
  prev_ = ')';
  return true;
}

// Whether the "(" at pos_ may follow a name, as far as this piece tells.
bool Walker::may_start_call(std::string_view view) const {
  std::size_t end = pos_;
  while (end > 0 && is_space(view[end - 1])) --end;
  if (end == 0) return true;
  return index_.may_end_name(end > 1 ? view[end - 2] : 0, view[end - 1]);
}

void Walker::open(std::string_view view) {
  ++depth_;
  if (!cuts_.notes || current().kind != Piece::Kind::source || !may_start_call(view)) return;
  constexpr std::size_t kMax = std::numeric_limits<std::uint32_t>::max();
  if (pos_ > kMax || current_index() > kMax || depth_ > kMax || reports_.size() > kMax ||
      s_.open_commas.size() > kMax) {
    return;
  }
  s_.opens.push_back({static_cast<std::uint32_t>(pos_), static_cast<std::uint32_t>(current_index()),
                      static_cast<std::uint32_t>(depth_), static_cast<std::uint32_t>(reports_.size()),
                      static_cast<std::uint32_t>(s_.open_commas.size())});
}

// True when this ")" ends the call.
bool Walker::close() {
  if (depth_ == 1) {
    bound();
    return true;
  }
  if (!s_.opens.empty() && s_.opens.back().depth == depth_) {
    const CallScratch::Open o = s_.opens.back();
    s_.opens.pop_back();
    const Piece& piece = current();
    constexpr std::size_t kMax = std::numeric_limits<std::uint32_t>::max();
    std::vector<std::uint32_t>& commas = memo_.commas();
    if (o.piece == current_index() && pos_ - o.offset >= kNoteSpan && pos_ - o.offset <= kMax &&
        commas.size() + kMaxCommas < kMax && reports_.size() < kMax) {
      const auto begin = static_cast<std::uint32_t>(commas.size());
      commas.insert(commas.end(), s_.open_commas.begin() + o.commas, s_.open_commas.end());
      memo_.add_note({piece.at + o.offset, piece.at + pos_, begin, o.reports,
                      static_cast<std::uint32_t>(reports_.size()),
                      static_cast<std::uint8_t>(commas.size() - begin)});
    }
    s_.open_commas.resize(o.commas);
  }
  --depth_;
  if (mark_ && !s_.marks.empty()) s_.marks.back().lowest = std::min(s_.marks.back().lowest, depth_);
  return false;
}

void Walker::comma() {
  if (depth_ == 1) {
    if (s_.bounds.size() <= kMaxCommas) bound();
    return;
  }
  if (!s_.opens.empty() && s_.opens.back().depth == depth_ &&
      s_.open_commas.size() - s_.opens.back().commas < kMaxCommas && s_.opens.back().piece == current_index()) {
    s_.open_commas.push_back(static_cast<std::uint32_t>(pos_ - s_.opens.back().offset));
  }
}

void Walker::bound() {
  s_.bounds.push_back(
      {{current_index(), pos_}, after_slash_ ? Lex::code_slash : Lex::code, reports_.size(), walked_});
}

// True when this walk now follows one that found no end, so that it finds
// none either.
bool Walker::at_mark(const Piece& piece, std::uint64_t at) {
  if (piece.id == 0) return false;  // no occurrence of its own
  const WalkMemo::Place place{piece.id, at, state_};
  if (cuts_.checkpoints) {
    const std::optional<std::size_t> closes = memo_.checkpoint(place);
    if (closes && depth_ > *closes) {
      commit_marks(depth_ - *closes);
      return true;
    }
  }
  s_.marks.push_back({place, depth_, depth_});
  return false;
}

// The walk found no end: each mark learns how many of its parentheses the
// walk closed after it, from the lowest depth it reached from there on.
void Walker::commit_marks(std::size_t future_lowest) {
  std::size_t lowest = future_lowest;
  for (auto it = s_.marks.rbegin(); it != s_.marks.rend(); ++it) {
    lowest = std::min(lowest, it->lowest);
    memo_.add_checkpoint(it->place, it->depth - lowest);
  }
  s_.marks.clear();
}

// The events of a walk, one byte of code each: a "(" (or a noted stretch
// taken whole), a ")" (true: the call's own), a comma, a literal or a
// comment begun, a character the split reports.
bool Walker::on_open(std::string_view view) {
  if (take_note()) return false;
  open(view);
  return true;
}

void Walker::on_literal(char quote) { state_ = quote == '"' ? Lex::dq : Lex::sq; }

// A "/" in code: the next byte tells a comment from an operator.
void Walker::on_slash() { state_ = Lex::code_slash; }

void Walker::on_comment(char second) { state_ = second == '*' ? Lex::block : Lex::line; }

void Walker::on_invalid(char c) { reports_.push_back({c, report_times(prev_)}); }

// Walks view[pos_, limit); true when the call's ")" was reached.
bool Walker::step(std::string_view view, std::size_t limit) {
  while (pos_ < limit) {
    const char c = view[pos_];
    if (state_ == Lex::code_slash) {
      if (c == '*' || c == '/') {
        on_comment(c);
        prev_ = c;
        ++pos_;
        continue;
      }
      state_ = Lex::code;
      after_slash_ = true;  // the "/" was an operator: this byte is code
    } else if (state_ != Lex::code) {
      // Inside a literal or comment nothing counts until it ends.
      Lex state = state_;
      std::size_t p = pos_;
      do state = skip_step(state, view[p++]);
      while (state != Lex::code && p < limit);
      state_ = state;
      prev_ = view[p - 1];
      pos_ = p;
      continue;
    }
    const Walk walk = walk_of(c);
    if (walk == Walk::pass) {
      // Most characters of a call mean nothing to its structure.
      std::size_t p = pos_ + 1;
      while (p < limit && walk_of(view[p]) == Walk::pass) ++p;
      prev_ = view[p - 1];
      pos_ = p;
      after_slash_ = false;
      continue;
    }
    bool consumed = true;  // false: the event moved pos_ itself
    switch (walk) {
      case Walk::slash:
        on_slash();
        break;
      case Walk::quote:
        on_literal(c);
        break;
      case Walk::open:
        consumed = on_open(view);
        break;
      case Walk::close:
        if (close()) return true;
        break;
      case Walk::comma:
        comma();
        break;
      case Walk::invalid:
        on_invalid(c);
        break;
      case Walk::pass:
        break;
    }
    if (consumed) {
      prev_ = c;
      ++pos_;
    }
    after_slash_ = false;
  }
  return false;
}

WalkEnd Walker::run() {
  const WalkEnd end = walk();
  c_.work += walked_;
  c_.passed += passed_;
  return end;
}

WalkEnd Walker::walk() {
  if (take_root_note()) return WalkEnd::closed;
  bound();
  ++pos_;
  for (;;) {
    const Piece& piece = current();
    if (piece.is_unit() || pos_ == piece.length) {
      const Next next = next_piece();
      if (next == Next::merged) return WalkEnd::open;
      if (next == Next::end) {
        if (mark_) commit_marks(std::numeric_limits<std::size_t>::max());
        return WalkEnd::open;
      }
      continue;
    }
    const std::string_view view = b_.bytes(piece);
    std::size_t limit = view.size();
    if (mark_) {
      const std::uint64_t at = place_of(piece, pos_);
      if ((pos_ == 0 || at % kCheckpointStep == 0) && at_mark(piece, at)) return WalkEnd::open;
      limit = static_cast<std::size_t>(std::min<std::uint64_t>(limit, pos_ + (kCheckpointStep - at % kCheckpointStep)));
    }
    const std::size_t before = pos_;
    const bool closed = step(view, limit);
    walked_ += pos_ - before;
    if (closed) return WalkEnd::closed;
  }
}

// Moves the call's name and the white space after it from the rest into
// scratch.call; the offset of the "(" in its last piece.
std::size_t take_name(LineBuffer& b, std::size_t name_length, CallScratch& s) {
  std::vector<Piece>& rest = b.rest();
  std::size_t skip = name_length;
  for (;;) {
    assert(!rest.empty() && !rest.back().is_unit());
    s.call.push_back(rest.back());
    rest.pop_back();
    const std::string_view view = b.bytes(s.call.back());
    std::size_t pos = std::min(skip, view.size());
    skip -= pos;
    if (skip == 0) {
      // Skip white space between the name and "(": it is not part of the call.
      while (pos < view.size() && is_space(view[pos])) ++pos;
      if (pos < view.size()) {
        const char* pchIn = view.data() + pos;
        assert(*pchIn == '(');
        return pos;
      }
    }
  }
}

// A unit taken apart to be read inside a literal or comment is put back
// together when the call's delimiters all fell outside it: a rewrite that
// takes it over again keeps one piece, which the next walk passes in one
// step, instead of pieces it would have to read again. Inner units first.
void regroup(LineBuffer& b, CallScratch& s) {
  for (auto it = s.opened.rbegin(); it != s.opened.rend(); ++it) {
    const std::size_t first = it->at;
    std::size_t last = first;
    std::size_t length = 0;
    while (last < s.call.size() && length < it->unit.length) length += s.call[last++].length;
    if (length != it->unit.length) continue;
    const bool split = std::any_of(s.bounds.begin(), s.bounds.end(), [&](const CallScratch::Bound& bound) {
      return bound.at.piece >= first && bound.at.piece < last;
    });
    if (split) continue;
    for (std::size_t i = first; i < last; ++i) b.unref(s.call[i]);
    b.ref(it->unit);
    s.call.erase(s.call.begin() + static_cast<std::ptrdiff_t>(first + 1), s.call.begin() + static_cast<std::ptrdiff_t>(last));
    s.call[first] = it->unit;
    for (CallScratch::Bound& bound : s.bounds) {
      if (bound.at.piece >= last) bound.at.piece -= last - first - 1;
    }
  }
  s.opened.clear();
}

WalkEnd walk_once(Conversion& c, LineBuffer& b, std::size_t name_length, bool mark) {
  CallScratch& s = c.scratch();
  s.call.clear();
  s.bounds.clear();
  s.opens.clear();
  s.open_commas.clear();
  s.marks.clear();
  s.opened.clear();
  const std::size_t open = take_name(b, name_length, s);
  const WalkEnd end = Walker(c, b, mark, open).run();
  if (end == WalkEnd::open) {
    put_back(b, s);
    return end;
  }
  // The text after ")" stays on the rest, the same occurrence as before.
  Piece& last = s.call.back();
  const std::size_t close = s.bounds.back().at.offset;
  if (close + 1 < last.length) b.rest().push_back(LineBuffer::tail(last, close + 1));
  last = LineBuffer::head(last, close + 1);
  regroup(b, s);
  return end;
}

}  // namespace

void put_back(LineBuffer& b, CallScratch& s) {
  for (auto it = s.call.rbegin(); it != s.call.rend(); ++it) b.rest().push_back(*it);
  s.call.clear();
}

WalkEnd walk_call(Conversion& c, LineBuffer& b, std::size_t name_length) {
  const bool checkpoints = c.short_cuts.checkpoints;
  const bool marked = b.input_ended() && checkpoints;
  const WalkEnd end = walk_once(c, b, name_length, marked);
  if (end == WalkEnd::open && checkpoints && !marked) {
    // The input ended during this walk: walk it again, leaving checkpoints
    // for the walks of the calls inside it.
    walk_once(c, b, name_length, true);
  }
  return end;
}

}  // namespace zaptor
