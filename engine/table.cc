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
  by_name_.clear();
  for (char c : chFirstBuf) {
    if (is_alnum(c)) first_[static_cast<unsigned char>(c)] = true;
  }
  const std::size_t count =
      api_num <= 0 ? 0 : std::min(apilist.size(), static_cast<std::size_t>(api_num));
  for (std::size_t i = 0; i < count; ++i) {
    const auto key = match_key(apilist[i]);
    if (!key) continue;
    // emplace keeps the first entry of a name: table order decides.
    by_name_.emplace(*key, static_cast<int>(i));
    lengths_[static_cast<unsigned char>(key->front())] |= length_bit(key->size());
  }
}

int ApiIndex::find(std::string_view word) const {
  if (word.empty()) return -1;
  if ((lengths_[static_cast<unsigned char>(word.front())] & length_bit(word.size())) == 0) return -1;
  const auto it = by_name_.find(word);
  return it == by_name_.end() ? -1 : it->second;
}

}  // namespace zaptor
