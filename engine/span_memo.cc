#include "engine/span_memo.h"

#include "engine/bytes.h"

namespace zaptor {

void SpanMemo::clear() {
  spans_.clear();
  reports_.clear();
}

const SpanMemo::Span* SpanMemo::find(std::size_t open) const {
  if (spans_.empty()) return nullptr;
  const auto it = spans_.find(open);
  return it == spans_.end() ? nullptr : &it->second;
}

void SpanMemo::forget(std::string_view text, std::size_t begin, std::size_t end) {
  if (spans_.empty() || begin >= end) return;
  ByteFinder opens(text.substr(0, end), begin, '(');
  for (std::size_t open = opens.next(); open != std::string_view::npos; open = opens.next()) {
    spans_.erase(open);
  }
}

void SpanMemo::shift(std::string_view text, std::size_t begin, std::size_t end, std::size_t by) {
  if (spans_.empty() || begin >= end) return;
  moving_.clear();
  ByteFinder opens(text.substr(0, end), begin, '(');
  for (std::size_t open = opens.next(); open != std::string_view::npos; open = opens.next()) {
    const auto it = spans_.find(open);
    if (it == spans_.end()) continue;
    moving_.emplace_back(open + by, Span{it->second.close + by, it->second.reports_begin, it->second.reports_end});
    spans_.erase(it);
  }
  for (const auto& [open, span] : moving_) spans_[open] = span;
}

}  // namespace zaptor
