#include "engine/line_buffer.h"

#include <algorithm>
#include <array>

#include "engine/bytes.h"

namespace zaptor {

namespace {
// Finished pieces are written out of the piece list in batches of this many.
constexpr std::size_t kCompactBatch = 256;
// Pieces up to this long are copied to join the short piece below them.
constexpr std::size_t kJoinLength = 64;
// A unit is taken apart this many pieces at a time.
constexpr std::size_t kOpenBatch = 64;
}  // namespace

void LineBuffer::clear() {
  source_.clear();
  front_used_ = 0;
  rest_.clear();
  done_.clear();
  finished_.clear();
  scan_from_ = 0;
  line_starts_.clear();
  units_.clear();
  unit_pieces_.clear();
  reports_.clear();
  memo_.clear();
  written_ = 0;
  input_ended_ = false;
}

std::size_t LineBuffer::read_more(LineReader* reader) {
  const std::size_t before = source_.size();
  if (input_ended_ || reader == nullptr || !reader->read_line(source_)) {
    input_ended_ = true;
    return std::string_view::npos;
  }
  work_ += source_.size() - before;
  if (before > 0) line_starts_.push_back(before);
  return before;
}

bool LineBuffer::append_line(LineReader& reader) {
  const std::size_t at = read_more(&reader);
  if (at == std::string_view::npos) return false;
  rest_.insert(rest_.begin(), source_piece(at, source_.size() - at));
  return true;
}

void LineBuffer::assign(std::string_view text) {
  clear();
  source_.assign(text);
  for (std::size_t i = text.find('\n'); i != std::string_view::npos && i + 1 < text.size(); i = text.find('\n', i + 1)) {
    line_starts_.push_back(i + 1);
  }
  if (!text.empty()) rest_.push_back(source_piece(0, text.size()));
}

std::string LineBuffer::text() const {
  std::string whole = finished_;
  const auto append = [&](std::string_view bytes) { whole.append(bytes); };
  for (const Piece& piece : done_) emit(piece, append);
  for (auto it = rest_.rbegin(); it != rest_.rend(); ++it) emit(*it, append);
  return whole;
}

void LineBuffer::write_to(Output& out) {
  work_ += finished_.size();
  out.write(finished_);
  const auto write = [&](std::string_view bytes) {
    work_ += bytes.size() + 1;
    out.write(bytes);
  };
  for (const Piece& piece : done_) emit(piece, write);
  for (auto it = rest_.rbegin(); it != rest_.rend(); ++it) emit(*it, write);
}

Piece LineBuffer::head(const Piece& piece, std::size_t count) {
  Piece part = piece;
  part.length = count;
  return part;
}

Piece LineBuffer::tail(const Piece& piece, std::size_t from) {
  Piece part = piece;
  part.length -= from;
  if (part.kind == Piece::Kind::source) {
    part.at += from;
  } else if (part.kind == Piece::Kind::written) {
    part.at -= from;
  } else {
    part.text += from;
  }
  return part;
}

void LineBuffer::write_front(std::string_view bytes) {
  if (front_used_ + bytes.size() > front_.size()) {
    // Grow at the front: the text keeps its distance from the end.
    std::string grown(std::max(2 * front_.size(), front_used_ + bytes.size() + 256), '\0');
    std::copy(front_.end() - static_cast<std::ptrdiff_t>(front_used_), front_.end(),
              grown.end() - static_cast<std::ptrdiff_t>(front_used_));
    front_.swap(grown);
  }
  front_used_ += bytes.size();
  std::copy(bytes.begin(), bytes.end(), front_.end() - static_cast<std::ptrdiff_t>(front_used_));
}

bool LineBuffer::push_rest(const Piece& piece, bool join) {
  if (!join || piece.is_unit() || piece.length > kJoinLength || rest_.empty()) {
    rest_.push_back(piece);
    return false;
  }
  Piece& top = rest_.back();
  const bool top_at_front = top.kind == Piece::Kind::written && top.at == front_used_;
  // Written text counts no lines of the source: source newlines stay in
  // pieces of the source.
  const auto source_line_end = [&](const Piece& p) {
    return p.kind == Piece::Kind::source && bytes(p).find('\n') != std::string_view::npos;
  };
  if (source_line_end(piece) || (!top_at_front && (top.is_unit() || top.length > kJoinLength || source_line_end(top)))) {
    rest_.push_back(piece);
    return false;
  }
  // Both may be written text, which moves as it grows: copy them first.
  std::array<char, 2 * kJoinLength> joined;
  const std::string_view front = bytes(piece);
  std::copy(front.begin(), front.end(), joined.begin());
  std::size_t length = front.size();
  if (!top_at_front) {
    const std::string_view below = bytes(top);
    std::copy(below.begin(), below.end(), joined.begin() + static_cast<std::ptrdiff_t>(length));
    length += below.size();
    top.kind = Piece::Kind::written;
    top.length = 0;
  }
  write_front(std::string_view(joined.data(), length));
  work_ += length;
  // Text that begins elsewhere now: another occurrence.
  top.id = next_id();
  top.at = front_used_;
  top.length += length;
  return true;
}

Piece LineBuffer::make_unit(const std::vector<Piece>& pieces, const Unit& summary, bool extend) {
  Unit unit = summary;
  unit.refs = 0;
  std::size_t shared = 0;
  std::size_t index = units_.size();
  if (!pieces.empty() && pieces.front().is_unit()) {
    // A format that rebuilds its call around its parameter makes a unit of
    // the last unit and a little more, over and over: share its pieces, or
    // take the unit over when the call being rewritten is its only holder.
    const Unit& inner = units_[pieces.front().at];
    if (inner.first + inner.count == unit_pieces_.size()) {
      unit.first = inner.first;
      unit.count = inner.count;
      shared = 1;
      if (extend && inner.refs == 1) {
        index = pieces.front().at;
        unit.refs = inner.refs;
      }
    }
  }
  if (shared == 0) {
    unit.first = unit_pieces_.size();
    unit.count = 0;
  }
  work_ += pieces.size();
  for (std::size_t i = shared; i < pieces.size(); ++i) {
    unit_pieces_.push_back(pieces[i]);
    ref(pieces[i]);
  }
  unit.count += pieces.size() - shared;
  if (index == units_.size()) {
    units_.push_back(unit);
  } else {
    units_[index] = unit;
  }
  Piece piece;
  piece.kind = Piece::Kind::unit;
  piece.length = unit.length;
  piece.at = index;
  return piece;
}

void LineBuffer::open_unit() {
  const Piece top = rest_.back();
  rest_.pop_back();
  unref(top);
  const Unit u = units_[top.at];
  // A unit of many pieces is taken apart a batch at a time: the pieces
  // after the batch stay together as a unit of their own.
  std::size_t count = u.count;
  if (count > kOpenBatch) {
    std::size_t batch_length = 0;
    for (std::size_t i = 0; i < kOpenBatch; ++i) batch_length += unit_pieces_[u.first + i].length;
    Unit later;
    later.first = u.first + kOpenBatch;
    later.count = u.count - kOpenBatch;
    later.length = u.length - batch_length;
    later.passable = false;
    later.refs = 1;
    units_.push_back(later);
    Piece piece;
    piece.kind = Piece::Kind::unit;
    piece.id = next_id();
    piece.length = later.length;
    piece.at = units_.size() - 1;
    rest_.push_back(piece);
    count = kOpenBatch;
  }
  work_ += count + 1;
  for (std::size_t i = count; i > 0; --i) {
    Piece piece = unit_pieces_[u.first + i - 1];
    piece.id = next_id();
    ref(piece);
    rest_.push_back(piece);
  }
}

bool LineBuffer::finish_one_byte() {
  while (!rest_.empty() && rest_.back().is_unit()) open_unit();
  if (rest_.empty()) return false;
  Piece& top = rest_.back();
  finish(head(top, 1));
  if (top.length == 1) {
    rest_.pop_back();
  } else {
    top = tail(top, 1);
  }
  return true;
}

void LineBuffer::resume_scan() {
  scan_from_ = done_.size();
  if (scan_from_ >= kCompactBatch) compact_done();
}

std::uint64_t LineBuffer::newlines_before(std::size_t offset) const {
  return static_cast<std::uint64_t>(std::upper_bound(line_starts_.begin(), line_starts_.end(), offset) -
                                    line_starts_.begin());
}

void LineBuffer::finish(const Piece& piece) { done_.push_back(piece); }

Piece LineBuffer::unfinish() {
  const Piece piece = done_.back();
  done_.pop_back();
  return piece;
}

void LineBuffer::pass_top() {
  const Piece top = rest_.back();
  rest_.pop_back();
  finish(top);
  // A look-back for a name runs over white space, then over letters and
  // digits: a piece with anything else before its last such run ends every
  // look-back that reaches it, and the text before it is out of reach.
  const std::string_view text = bytes(top);
  std::size_t j = text.size();
  while (j > 0 && is_space(text[j - 1])) --j;
  while (j > 0 && is_alnum(text[j - 1])) --j;
  if (j > 0) {
    scan_from_ = done_.size() - 1;
    if (scan_from_ >= kCompactBatch) compact_done();
  }
}

void LineBuffer::compact_done() {
  work_ += scan_from_;
  if (keep_finished_) {
    for (std::size_t i = 0; i < scan_from_; ++i) {
      finished_.append(bytes(done_[i]));
      work_ += done_[i].length;
    }
  }
  done_.erase(done_.begin(), done_.begin() + static_cast<std::ptrdiff_t>(scan_from_));
  scan_from_ = 0;
}

}  // namespace zaptor
