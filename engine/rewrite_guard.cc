#include "engine/rewrite_guard.h"

#include <algorithm>

namespace zaptor {

void RewriteGuard::reset(std::size_t entries) {
  limit_ = std::max<std::size_t>(entries, 1);
  runs_.clear();
  rewrites_.clear();
}

bool RewriteGuard::admit(std::size_t pch, std::size_t call_end) {
  // The scan never comes back: marks behind it are of no more use.
  while (!runs_.empty() && runs_.back().end <= pch) runs_.pop_back();
  const std::size_t length = call_end - pch;
  pending_ = {0, length};
  if (runs_.empty() || runs_.back().begin > pch) return true;
  const Rewrite& parent = rewrites_[runs_.back().id - 1];
  pending_.generation = parent.generation + 1;
  return pending_.generation <= limit_ || length < parent.call_length;
}

void RewriteGuard::take_runs_inside(std::size_t begin, std::size_t end) {
  inside_.clear();
  while (!runs_.empty() && runs_.back().begin < end) {
    Run& run = runs_.back();
    if (run.end > end) {  // reaches past the call: keep its outer part
      inside_.push_back({std::max(run.begin, begin), end, run.id});
      run.begin = end;
      break;
    }
    if (run.end > begin) inside_.push_back({std::max(run.begin, begin), run.end, run.id});
    runs_.pop_back();
  }
}

void RewriteGuard::copy_marks(std::size_t from, std::size_t length, std::size_t to) {
  const std::size_t until = from + length;
  auto it = std::lower_bound(inside_.begin(), inside_.end(), from,
                             [](const Run& run, std::size_t pos) { return run.end <= pos; });
  for (; it != inside_.end() && it->begin < until; ++it) {
    const std::size_t begin = std::max(it->begin, from);
    const std::size_t end = std::min(it->end, until);
    fresh_.push_back({to + (begin - from), to + (end - from), it->id});
  }
}

void RewriteGuard::record(std::size_t pch, std::size_t call_end, LineBuffer::Placed placed,
                          const std::vector<FormatPiece>& pieces,
                          const std::vector<Range>& slot_ranges, bool names_written) {
  take_runs_inside(pch, call_end);
  rewrites_.push_back(pending_);
  // Neither marks to carry nor any to make: the common case.
  if (inside_.empty() && !names_written && (runs_.empty() || placed.shift == 0)) return;
  if (placed.shift != 0) {
    for (Run& run : runs_) {
      run.begin += placed.shift;
      run.end += placed.shift;
    }
  }
  const auto id = static_cast<std::uint32_t>(rewrites_.size());
  fresh_.clear();
  std::size_t at = placed.start;
  for (const FormatPiece& piece : pieces) {
    if (piece.from_format()) {
      // Only bytes that may begin a name need a mark: a call starts at one.
      if (piece.may_name) fresh_.push_back({at, at + piece.length, id});
    } else if (!inside_.empty()) {
      const Range& source = slot_ranges[static_cast<std::size_t>(piece.arg)];
      copy_marks(source.begin + piece.offset, piece.length, at);
    }
    at += piece.length;
  }
  runs_.insert(runs_.end(), fresh_.rbegin(), fresh_.rend());
}

}  // namespace zaptor
