#include <algorithm>
#include <bit>
#include <cstring>

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
  e.formats.clear();
  for (const _apitype& entry : e.apilist) {
    if (entry.pchformat) {
      e.formats.emplace_back(std::in_place, *entry.pchformat);
    } else {
      e.formats.emplace_back(std::nullopt);
    }
  }
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

// Up to eight bytes of `text` from `at`, as a number.
std::uint64_t load_bytes(std::string_view text, std::size_t at) {
  const std::string_view part = text.substr(at, 8);
  std::uint64_t value = 0;
  std::memcpy(&value, part.data(), part.size());
  return value;
}

}  // namespace

std::uint64_t ApiIndex::hash(std::string_view word) {
  constexpr std::uint64_t kMultiplier = 0x9E3779B97F4A7C15ULL;
  std::uint64_t h = word.size() * kMultiplier;
  for (std::size_t at = 0; at < word.size(); at += 8) {
    h = std::rotl((h ^ load_bytes(word, at)) * kMultiplier, 29);
  }
  return h ^ (h >> 32);
}

void ApiIndex::build(const std::vector<_apitype>& apilist, std::int32_t api_num,
                     std::string_view chFirstBuf) {
  first_.fill(false);
  last_.fill(false);
  lengths_.fill(0);
  for (char c : chFirstBuf) {
    if (is_alnum(c)) first_[static_cast<unsigned char>(c)] = true;
  }
  const std::size_t count =
      api_num <= 0 ? 0 : std::min(apilist.size(), static_cast<std::size_t>(api_num));
  slots_.assign(std::bit_ceil(2 * count + 2), Slot{});
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t i = 0; i < count; ++i) {
    const auto key = match_key(apilist[i]);
    if (!key) continue;
    std::size_t at = hash(*key) & mask;
    while (slots_[at].entry >= 0 && slots_[at].key != *key) at = (at + 1) & mask;
    // The first entry of a name stays: table order decides.
    if (slots_[at].entry >= 0) continue;
    slots_[at] = {*key, static_cast<int>(i)};
    lengths_[static_cast<unsigned char>(key->front())] |= length_bit(key->size());
    last_[static_cast<unsigned char>(key->back())] = true;
  }
}

int ApiIndex::find(std::string_view word) const {
  if (word.empty()) return -1;
  if ((lengths_[static_cast<unsigned char>(word.front())] & length_bit(word.size())) == 0) return -1;
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t at = hash(word) & mask; slots_[at].entry >= 0; at = (at + 1) & mask) {
    if (slots_[at].key == word) return slots_[at].entry;
  }
  return -1;
}

std::optional<ApiIndex::Call> ApiIndex::call_before(std::string_view text, std::size_t open,
                                                    std::size_t from, bool one_line) const {
  std::size_t end = open;
  while (end > from && is_space(text[end - 1])) {
    if (one_line && text[end - 1] == '\n') return std::nullopt;
    --end;
  }
  if (end == from || !last_[static_cast<unsigned char>(text[end - 1])]) return std::nullopt;
  std::size_t start = end - 1;
  while (start > from && is_alnum(text[start - 1])) --start;
  for (std::size_t q = start; q < end && is_first_letter(text[q]); ++q) {
    if (find(text.substr(q, end - q)) >= 0) return Call{q, end - q};
  }
  return std::nullopt;
}

}  // namespace zaptor
