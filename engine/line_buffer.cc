#include "engine/line_buffer.h"

#include <algorithm>
#include <array>

namespace zaptor {

namespace {
// Finished pieces are written out of the piece list in batches of this many.
constexpr std::size_t kCompactBatch = 256;
// Pieces up to this long are copied to join the short piece below them.
constexpr std::size_t kJoinLength = 64;
}  // namespace

void LineBuffer::clear() {
  source_.clear();
  front_used_ = 0;
  rest_.clear();
  done_.clear();
  finished_.clear();
  sealed_ = 0;
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
  if (!text.empty()) rest_.push_back(source_piece(0, text.size()));
}

std::string LineBuffer::text() const {
  std::string whole = finished_;
  const auto append = [&](std::string_view bytes) { whole.append(bytes); };
  for (const Piece& piece : done_) emit(piece, append);
  for (auto it = rest_.rbegin(); it != rest_.rend(); ++it) emit(*it, append);
  return whole;
}

void LineBuffer::write_to(Output& out) const {
  out.write(finished_);
  const auto write = [&](std::string_view bytes) { out.write(bytes); };
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

void LineBuffer::push_rest(const Piece& piece) {
  if (piece.is_unit() || piece.length > kJoinLength || rest_.empty()) {
    rest_.push_back(piece);
    return;
  }
  Piece& top = rest_.back();
  const bool top_at_front = top.kind == Piece::Kind::written && top.at == front_used_;
  if (!top_at_front && (top.is_unit() || top.length > kJoinLength)) {
    rest_.push_back(piece);
    return;
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
    top.id = 0;
    top.length = 0;
  }
  write_front(std::string_view(joined.data(), length));
  top.at = front_used_;
  top.length += length;
}

Piece LineBuffer::make_unit(const std::vector<Piece>& pieces, std::size_t first, std::size_t count,
                            const Unit& summary) {
  Unit unit = summary;
  unit.first = unit_pieces_.size();
  unit.count = count;
  unit_pieces_.insert(unit_pieces_.end(), pieces.begin() + static_cast<std::ptrdiff_t>(first),
                      pieces.begin() + static_cast<std::ptrdiff_t>(first + count));
  units_.push_back(unit);
  Piece piece;
  piece.kind = Piece::Kind::unit;
  piece.length = unit.length;
  piece.at = units_.size() - 1;
  return piece;
}

void LineBuffer::open_unit() {
  const Unit& u = units_[rest_.back().at];
  rest_.pop_back();
  for (std::size_t i = u.count; i > 0; --i) {
    Piece piece = unit_pieces_[u.first + i - 1];
    if (piece.kind == Piece::Kind::source) piece.id = next_id();
    rest_.push_back(piece);
  }
}

bool LineBuffer::finish_one_byte() {
  while (!rest_.empty() && rest_.back().is_unit()) open_unit();
  if (rest_.empty()) return false;
  Piece& top = rest_.back();
  done_.push_back(head(top, 1));
  if (top.length == 1) {
    rest_.pop_back();
  } else {
    top = tail(top, 1);
  }
  return true;
}

void LineBuffer::seal_before(std::size_t index) {
  sealed_ = index;
  if (sealed_ >= kCompactBatch) compact_done();
}

void LineBuffer::compact_done() {
  if (keep_finished_) {
    for (std::size_t i = 0; i < sealed_; ++i) finished_.append(bytes(done_[i]));
  }
  done_.erase(done_.begin(), done_.begin() + static_cast<std::ptrdiff_t>(sealed_));
  sealed_ = 0;
}

}  // namespace zaptor
