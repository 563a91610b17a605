#include "engine/line_buffer.h"

#include <algorithm>

namespace zaptor {

void LineBuffer::clear() {
  done_.clear();
  work_.clear();
  head_ = 0;
}

void LineBuffer::assign(std::string_view text) {
  clear();
  work_.assign(text);
}

std::string LineBuffer::text() const {
  std::string whole(done_);
  whole.append(rest());
  return whole;
}

LineBuffer::Placed LineBuffer::replace(std::size_t pch, std::size_t call_end,
                                       std::string_view replacement) {
  done_.append(work_, head_, pch - head_);
  if (replacement.size() <= call_end) {
    // The replacement fits into the room before the text after the call.
    head_ = call_end - replacement.size();
    std::copy(replacement.begin(), replacement.end(), work_.begin() + static_cast<std::ptrdiff_t>(head_));
    return {head_, 0};
  }
  // Make room in front of the text after the call: as much again as that
  // text, so that growing replacements cost amortised linear time.
  const std::size_t tail = work_.size() - call_end;
  const std::size_t room = replacement.size() + tail;
  spare_.clear();
  spare_.resize(room);
  spare_.append(work_, call_end, tail);
  work_.swap(spare_);
  head_ = room - replacement.size();
  std::copy(replacement.begin(), replacement.end(), work_.begin() + static_cast<std::ptrdiff_t>(head_));
  return {head_, static_cast<std::ptrdiff_t>(room) - static_cast<std::ptrdiff_t>(call_end)};
}

}  // namespace zaptor
