#include "engine/line_buffer.h"

#include <algorithm>

namespace zaptor {

void LineBuffer::clear() {
  text_.resize(kLeadingGap);
  kept_ = 0;
  head_ = kLeadingGap;
  memo_.clear();
}

void LineBuffer::assign(std::string_view text) {
  clear();
  text_.append(text);
}

std::string LineBuffer::text() const {
  std::string whole(finished());
  whole.append(rest());
  return whole;
}

void LineBuffer::move_bytes(std::size_t from, std::size_t length, std::size_t to) {
  if (length == 0 || from == to) return;
  const auto first = text_.begin() + static_cast<std::ptrdiff_t>(from);
  const auto last = first + static_cast<std::ptrdiff_t>(length);
  if (to < from) {
    std::copy(first, last, text_.begin() + static_cast<std::ptrdiff_t>(to));
  } else {
    std::copy_backward(first, last, text_.begin() + static_cast<std::ptrdiff_t>(to + length));
  }
}

void LineBuffer::finish(std::size_t pch) {
  memo_.forget(text_, head_, pch);
  if (keep_finished_) {
    move_bytes(head_, pch - head_, kept_);
    kept_ += pch - head_;
  }
  head_ = pch;
}

std::size_t LineBuffer::make_room(std::size_t call_end, std::size_t length) {
  // Room for an eighth of the line more than needed, within the storage
  // the line already has when it has enough: moving into new storage holds
  // the old and the new at once.
  const std::size_t need = kept_ + length - call_end;
  const std::size_t spare = text_.capacity() - text_.size();
  std::size_t slack = (text_.size() - kept_) / 8;
  if (spare >= need) slack = std::min(slack, spare - need);
  const std::size_t shift = need + slack;
  const std::size_t old_end = text_.size();
  memo_.shift(text_, call_end, old_end, shift);
  text_.resize(old_end + shift);
  move_bytes(call_end, old_end - call_end, call_end + shift);
  return shift;
}

LineBuffer::Placed LineBuffer::replace(std::size_t pch, std::size_t call_end, const Replacement& replacement) {
  const std::size_t length = replacement.length;
  finish(pch);
  const std::size_t shift = length > call_end - kept_ ? make_room(call_end, length) : 0;
  const std::size_t start = call_end + shift - length;
  update_memo(pch, call_end, start, shift != 0, replacement);
  place(start, replacement);
  head_ = start;
  return {start, shift};
}

// The notes on stretches inside the call hold only where an argument stays
// in place whole.
void LineBuffer::update_memo(std::size_t pch, std::size_t call_end, std::size_t start, bool moved,
                             const Replacement& replacement) {
  if (memo_.empty() && replacement.notes.empty()) return;
  const std::vector<FormatPiece>& pieces = replacement.pieces;
  const std::vector<TextRange>& slots = replacement.slots;
  in_place_.clear();
  std::size_t at = start;
  for (const FormatPiece& piece : pieces) {
    if (!piece.from_format() && !moved) {
      const TextRange& arg = slots[static_cast<std::size_t>(piece.arg)];
      if (arg.begin == at && piece.offset == 0 && piece.length == arg.end - arg.begin) in_place_.push_back(arg);
    }
    at += piece.length;
  }
  std::sort(in_place_.begin(), in_place_.end(),
            [](const TextRange& a, const TextRange& b) { return a.begin < b.begin; });
  std::size_t from = pch;
  for (const TextRange& kept : in_place_) {
    memo_.forget(text_, from, kept.begin);
    from = kept.end;
  }
  memo_.forget(text_, from, call_end);
  const auto kept = [&](std::size_t open, std::size_t close) {
    return std::any_of(in_place_.begin(), in_place_.end(),
                       [&](const TextRange& arg) { return arg.begin <= open && close < arg.end; });
  };
  for (const SpanMemo::Note& note : replacement.notes) {
    if (kept(note.open, note.close)) memo_.record(note);
  }
  for (const SpanMemo::NoteReports& reports : replacement.note_reports) memo_.record_reports(reports);
}

// Argument bytes move within the text. When the arguments come in order, moves to the right are made first, from right to
// left, then moves to the left and the format's own text, from left to
// right: no write then lands on bytes that a move has still to read, and an
// argument that stays in place costs nothing. Otherwise the arguments go
// through scratch.
void LineBuffer::place(std::size_t start, const Replacement& replacement) {
  const std::vector<FormatPiece>& pieces = replacement.pieces;
  const std::vector<TextRange>& slots = replacement.slots;
  if (!replacement.in_order) {
    place_through_scratch(start, pieces, slots);
    return;
  }
  const auto source = [&](const FormatPiece& piece) {
    return slots[static_cast<std::size_t>(piece.arg)].begin + piece.offset;
  };
  std::size_t at = start + replacement.length;
  for (auto it = pieces.rbegin(); it != pieces.rend(); ++it) {
    at -= it->length;
    if (!it->from_format() && source(*it) < at) move_bytes(source(*it), it->length, at);
  }
  for (const FormatPiece& piece : pieces) {
    if (!piece.from_format()) {
      if (source(piece) > at) move_bytes(source(piece), piece.length, at);
    } else {
      write_format_text(at, piece);
    }
    at += piece.length;
  }
}

void LineBuffer::place_through_scratch(std::size_t start, const std::vector<FormatPiece>& pieces,
                                       const std::vector<TextRange>& slots) {
  scratch_.clear();
  for (const FormatPiece& piece : pieces) {
    if (!piece.from_format()) {
      scratch_.append(text_, slots[static_cast<std::size_t>(piece.arg)].begin + piece.offset, piece.length);
    }
  }
  std::size_t at = start;
  std::size_t from = 0;
  for (const FormatPiece& piece : pieces) {
    if (!piece.from_format()) {
      text_.replace(at, piece.length, scratch_, from, piece.length);
      from += piece.length;
    } else {
      write_format_text(at, piece);
    }
    at += piece.length;
  }
}

// Format text often lands on the same bytes (the commas between arguments
// that stay in place): short stretches are compared as they are written.
void LineBuffer::write_format_text(std::size_t at, const FormatPiece& piece) {
  const auto out = text_.begin() + static_cast<std::ptrdiff_t>(at);
  if (piece.arg == kBlanks) {
    std::fill_n(out, piece.length, ' ');
  } else if (piece.length > 4) {
    std::copy(piece.text.begin(), piece.text.end(), out);
  } else {
    for (std::size_t i = 0; i < piece.length; ++i) {
      if (out[static_cast<std::ptrdiff_t>(i)] != piece.text[i]) out[static_cast<std::ptrdiff_t>(i)] = piece.text[i];
    }
  }
}

}  // namespace zaptor
