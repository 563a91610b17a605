#include "engine/walk_memo.h"

namespace zaptor {

void WalkMemo::clear() {
  notes_.clear();
  commas_.clear();
  checkpoints_.clear();
}

const WalkMemo::Note* WalkMemo::note(std::size_t open) const {
  if (notes_.empty()) return nullptr;
  const auto it = notes_.find(open);
  return it == notes_.end() ? nullptr : &it->second;
}

void WalkMemo::add_note(std::size_t open, const Note& note) { notes_[open] = note; }

const WalkMemo::Checkpoint* WalkMemo::checkpoint(std::size_t offset, Lex state) const {
  if (checkpoints_.empty()) return nullptr;
  const auto it = checkpoints_.find(key(offset, state));
  return it == checkpoints_.end() ? nullptr : &it->second;
}

void WalkMemo::add_checkpoint(std::size_t offset, Lex state, const Checkpoint& checkpoint) {
  checkpoints_[key(offset, state)] = checkpoint;
}

}  // namespace zaptor
