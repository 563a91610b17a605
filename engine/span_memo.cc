#include "engine/span_memo.h"

#include <algorithm>
#include <bit>

#include "engine/bytes.h"

namespace zaptor {

void SpanMemo::clear() {
  // Clearing costs the table's size: a table much larger than the last line
  // needed is made small again.
  if (slots_.size() > 64 && used_ * 8 < slots_.size()) {
    slots_ = std::vector<Slot>(std::max<std::size_t>(64, std::bit_ceil(used_ * 2)));
  } else if (used_ > 0) {
    slots_.assign(slots_.size(), Slot{});
  }
  count_ = 0;
  used_ = 0;
  report_ranges_.clear();
  reports_.clear();
}

std::size_t SpanMemo::home(std::size_t open) const {
  return (open * 0x9E3779B97F4A7C15ULL >> 20) & (slots_.size() - 1);
}

std::size_t SpanMemo::index_of(std::size_t open) const {
  if (count_ == 0) return kFree;
  for (std::size_t at = home(open);; at = (at + 1) & (slots_.size() - 1)) {
    if (slots_[at].open == open) return at;
    if (slots_[at].open == kFree) return kFree;
  }
}

std::optional<SpanMemo::Span> SpanMemo::find(std::size_t open) const {
  const std::size_t at = index_of(open);
  if (at == kFree) return std::nullopt;
  const std::size_t close = slots_[at].close;
  if ((close & kHasReports) == 0) return Span{close, 0, 0};
  const auto& range = report_ranges_.at(open);
  return Span{close & ~kHasReports, range.first, range.second};
}

void SpanMemo::grow() {
  std::vector<Slot> old;
  old.swap(slots_);
  slots_.assign(std::max<std::size_t>(64, std::bit_ceil(count_ * 2 + 2)), Slot{});
  count_ = used_ = 0;
  for (const Slot& slot : old) {
    if (slot.open < kGone) insert(slot.open, slot.close);
  }
}

void SpanMemo::insert(std::size_t open, std::size_t close) {
  // Live and forgotten slots together stay under half the table.
  if ((used_ + 1) * 2 > slots_.size()) grow();
  const std::size_t mask = slots_.size() - 1;
  std::size_t target = kFree;
  std::size_t at = home(open);
  for (; slots_[at].open != kFree; at = (at + 1) & mask) {
    if (slots_[at].open == open) {
      if ((slots_[at].close & kHasReports) != 0) report_ranges_.erase(open);
      slots_[at].close = close;
      return;
    }
    if (slots_[at].open == kGone && target == kFree) target = at;
  }
  if (target == kFree) {
    target = at;
    ++used_;
  }
  slots_[target] = {open, close};
  ++count_;
}

void SpanMemo::record(const Note& note) { insert(note.open, note.close); }

void SpanMemo::record_reports(const NoteReports& reports) {
  const std::size_t at = index_of(reports.open);
  if (at == kFree) return;
  slots_[at].close |= kHasReports;
  report_ranges_[reports.open] = {reports.begin, reports.end};
}

void SpanMemo::erase(std::size_t open) {
  const std::size_t at = index_of(open);
  if (at == kFree) return;
  if ((slots_[at].close & kHasReports) != 0) report_ranges_.erase(open);
  slots_[at].open = kGone;
  --count_;
}

void SpanMemo::forget(std::string_view text, std::size_t begin, std::size_t end) {
  if (empty() || begin >= end) return;
  if (end - begin < 2 * kBlockBytes) {
    for (std::size_t at = begin; at < end; ++at) {
      if (text[at] == '(') erase(at);
    }
    return;
  }
  ByteFinder opens(text.substr(0, end), begin, '(');
  for (std::size_t open = opens.next(); open != std::string_view::npos && !empty(); open = opens.next()) {
    erase(open);
  }
}

void SpanMemo::shift(std::string_view text, std::size_t begin, std::size_t end, std::size_t by) {
  if (empty() || begin >= end) return;
  moving_.clear();
  ByteFinder opens(text.substr(0, end), begin, '(');
  for (std::size_t open = opens.next(); open != std::string_view::npos; open = opens.next()) {
    if (const auto span = find(open)) {
      moving_.push_back({{open + by, span->close + by}, *span});
      erase(open);
    }
  }
  for (const auto& [note, span] : moving_) {
    record(note);
    if (span.reports_end > span.reports_begin) record_reports({note.open, span.reports_begin, span.reports_end});
  }
}

}  // namespace zaptor
