#include "engine/walk_memo.h"

#include <algorithm>
#include <bit>
#include <limits>

namespace zaptor {

void WalkMemo::clear() {
  // Clearing costs the index's size: one much larger than the line needed
  // is made small again.
  if (index_.size() > 1024 && notes_.size() * 8 < index_.size()) {
    std::vector<std::uint32_t>().swap(index_);
  } else {
    std::fill(index_.begin(), index_.end(), 0);
  }
  notes_.clear();
  commas_.clear();
  checkpoints_.clear();
}

const WalkMemo::Note* WalkMemo::note(std::size_t open) const {
  if (notes_.empty()) return nullptr;
  for (std::size_t at = home(open);; at = (at + 1) & (index_.size() - 1)) {
    const std::uint32_t slot = index_[at];
    if (slot == 0) return nullptr;
    if (notes_[slot - 1].open == open) return &notes_[slot - 1];
  }
}

void WalkMemo::grow() {
  index_.assign(std::bit_ceil(std::max<std::size_t>(64, 3 * notes_.size())), 0);
  for (std::size_t i = 0; i < notes_.size(); ++i) {
    std::size_t at = home(notes_[i].open);
    while (index_[at] != 0) at = (at + 1) & (index_.size() - 1);
    index_[at] = static_cast<std::uint32_t>(i + 1);
  }
}

void WalkMemo::add_note(const Note& note) {
  if (notes_.size() >= std::numeric_limits<std::uint32_t>::max() - 1) return;
  // A stretch is noted once per line: a later walk over it takes the note.
  if (this->note(note.open) != nullptr) return;
  notes_.push_back(note);
  if (2 * notes_.size() > index_.size()) {
    grow();
    return;
  }
  std::size_t at = home(note.open);
  while (index_[at] != 0) at = (at + 1) & (index_.size() - 1);
  index_[at] = static_cast<std::uint32_t>(notes_.size());
}

std::optional<std::size_t> WalkMemo::checkpoint(const Place& place) const {
  if (checkpoints_.empty()) return std::nullopt;
  const auto it = checkpoints_.find(place);
  if (it == checkpoints_.end()) return std::nullopt;
  return it->second;
}

void WalkMemo::add_checkpoint(const Place& place, std::size_t closes) { checkpoints_[place] = closes; }

}  // namespace zaptor
