#include <algorithm>

#include "engine/chartype.h"
#include "engine/engine.h"

namespace zaptor {

EngineState& engine() {
  static EngineState state;
  return state;
}

void reset_engine() { engine() = EngineState{}; }

void index_table() {
  EngineState& e = engine();
  e.index.build(e.apilist, e.api_num, e.chFirstBuf);
}

namespace {

std::uint64_t length_bit(std::size_t length) {
  return length < 64 ? std::uint64_t{1} << length : 1;
}

// The first two bytes of a word; a word of one byte pairs it with NUL,
// which no longer word holds in second place.
std::size_t pair_of(std::string_view word) {
  const auto second = word.size() > 1 ? static_cast<unsigned char>(word[1]) : 0;
  return static_cast<std::size_t>(static_cast<unsigned char>(word[0])) << 8 | second;
}

// The text a word must equal for the entry to match, or nullopt when no word
// can: a word is a run of alphanumerics, as long as cb, and equal to the
// first cb characters of the name (a shorter name ends before).
std::optional<std::string_view> match_key(const _apitype& entry) {
  if (!entry.pchName || entry.cb <= 0) return std::nullopt;
  const std::string_view name = *entry.pchName;
  const auto length = static_cast<std::size_t>(entry.cb);
  if (name.size() < length) return std::nullopt;
  const std::string_view key = name.substr(0, length);
  if (!std::all_of(key.begin(), key.end(), is_alnum)) return std::nullopt;
  return key;
}

}  // namespace

void ApiIndex::build(const std::vector<_apitype>& apilist, std::int32_t api_num,
                     std::string_view chFirstBuf) {
  first_.fill(false);
  lengths_.fill(0);
  pairs_.assign(pairs_.size(), false);
  by_name_.clear();
  only_letter_ = 0;
  int letters = 0;
  for (char c : chFirstBuf) {
    if (!is_alnum(c) || first_[static_cast<unsigned char>(c)]) continue;
    first_[static_cast<unsigned char>(c)] = true;
    only_letter_ = ++letters == 1 ? c : 0;
  }
  const std::size_t count =
      api_num <= 0 ? 0 : std::min(apilist.size(), static_cast<std::size_t>(api_num));
  for (std::size_t i = 0; i < count; ++i) {
    const auto key = match_key(apilist[i]);
    if (!key) continue;
    // emplace keeps the first entry of a name: table order decides.
    by_name_.emplace(*key, static_cast<int>(i));
    lengths_[static_cast<unsigned char>(key->front())] |= length_bit(key->size());
    pairs_[pair_of(*key)] = true;
  }
}

std::size_t ApiIndex::next_first_letter(std::string_view text, std::size_t pos) const {
  if (only_letter_ != 0) return text.find(only_letter_, pos);
  for (; pos < text.size(); ++pos) {
    if (is_first_letter(text[pos])) return pos;
  }
  return std::string_view::npos;
}

int ApiIndex::find(std::string_view word) const {
  if (word.empty()) return -1;
  if ((lengths_[static_cast<unsigned char>(word.front())] & length_bit(word.size())) == 0) return -1;
  if (!pairs_[pair_of(word)]) return -1;
  const auto it = by_name_.find(word);
  return it == by_name_.end() ? -1 : it->second;
}

}  // namespace zaptor
