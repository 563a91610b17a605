#include <algorithm>
#include <bit>
#include <cstring>

#include "engine/chartype.h"
#include "engine/engine.h"

namespace zaptor {

EngineState& engine() {
  // Never destroyed: the table lives until the process ends, and a large
  // one costs nothing to take down.
  static EngineState& state = *new EngineState;
  return state;
}

void reset_engine() { engine() = EngineState{}; }

void index_table() {
  EngineState& e = engine();
  e.index.build(e.apilist, e.api_num, e.chFirstBuf);
  e.formats.clear();
  e.formats.resize(e.apilist.size());
}

const EngineState::EntryFormat* EngineState::format(std::size_t entry) {
  const _apitype& e = apilist[entry];
  if (!e.pchformat) return nullptr;
  if (!formats[entry]) {
    CompiledFormat format(*e.pchformat, index.first_letters());
    bool in_order = true;
    std::int32_t last = -1;
    for (std::size_t k = 0; k < std::min(format.conversions(), e.iOrder.size()); ++k) {
      const std::int32_t parm = e.iOrder[k];
      if (parm < 0 || parm >= kOrderSlots) continue;
      in_order = in_order && parm > last;
      last = parm;
    }
    formats[entry] = std::make_unique<EntryFormat>(EntryFormat{std::move(format), in_order});
  }
  return formats[entry].get();
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

// Eight bytes of `text` from `at`, as a number.
std::uint64_t load8(std::string_view text, std::size_t at) {
  std::uint64_t value;
  std::memcpy(&value, text.substr(at, 8).data(), 8);
  return value;
}

std::size_t end_pair(char before_last, char last) {
  return static_cast<std::size_t>(static_cast<unsigned char>(before_last)) << 8 | static_cast<unsigned char>(last);
}

}  // namespace

std::uint64_t ApiIndex::hash(std::string_view word) {
  constexpr std::uint64_t kMultiplier = 0x9E3779B97F4A7C15ULL;
  const auto mix = [](std::uint64_t h, std::uint64_t bytes) { return std::rotl((h ^ bytes) * kMultiplier, 29); };
  std::uint64_t h = word.size() * kMultiplier;
  if (word.size() < 8) {
    std::uint64_t bytes = 0;
    for (char c : word) bytes = bytes << 8 | static_cast<unsigned char>(c);
    h = mix(h, bytes);
  } else {
    // Whole blocks of eight, the last one overlapping the one before.
    for (std::size_t at = 0; at + 8 < word.size(); at += 8) h = mix(h, load8(word, at));
    h = mix(h, load8(word, word.size() - 8));
  }
  return h ^ (h >> 32);
}

void ApiIndex::build(const std::vector<_apitype>& apilist, std::int32_t api_num,
                     std::string_view chFirstBuf) {
  first_.fill(false);
  last_.fill(false);
  single_.fill(false);
  end_pairs_.fill(0);
  lengths_.fill(0);
  first_letters_.clear();
  for (char c : chFirstBuf) {
    if (!is_alnum(c) || first_[static_cast<unsigned char>(c)]) continue;
    first_[static_cast<unsigned char>(c)] = true;
    first_letters_.push_back(c);
  }
  const std::size_t count =
      api_num <= 0 ? 0 : std::min(apilist.size(), static_cast<std::size_t>(api_num));
  slots_.assign(std::bit_ceil(2 * count + 2), Slot{});
  keys_.assign(count, {});
  for (std::size_t i = 0; i < count; ++i) {
    const auto key = match_key(apilist[i]);
    if (!key) continue;
    // The first entry of a name stays: table order decides.
    if (find(*key) >= 0) continue;
    const std::uint64_t h = hash(*key);
    std::size_t at = h & (slots_.size() - 1);
    while (slots_[at].entry >= 0) at = (at + 1) & (slots_.size() - 1);
    slots_[at] = {static_cast<std::uint32_t>(h >> 32), static_cast<int>(i)};
    keys_[i] = *key;
    lengths_[static_cast<unsigned char>(key->front())] |= length_bit(key->size());
    last_[static_cast<unsigned char>(key->back())] = true;
    if (key->size() == 1) {
      single_[static_cast<unsigned char>(key->back())] = true;
    } else {
      const std::size_t pair = end_pair((*key)[key->size() - 2], key->back());
      end_pairs_[pair / 64] |= std::uint64_t{1} << (pair % 64);
    }
  }
}

int ApiIndex::find(std::string_view word) const {
  if (word.empty() || slots_.empty()) return -1;
  if ((lengths_[static_cast<unsigned char>(word.front())] & length_bit(word.size())) == 0) return -1;
  const std::uint64_t h = hash(word);
  const auto tag = static_cast<std::uint32_t>(h >> 32);
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t at = h & mask; slots_[at].entry >= 0; at = (at + 1) & mask) {
    const Slot& slot = slots_[at];
    if (slot.tag == tag && keys_[static_cast<std::size_t>(slot.entry)] == word) return slot.entry;
  }
  return -1;
}

std::optional<ApiIndex::Call> ApiIndex::call_ending(std::string_view text, std::size_t end,
                                                    std::size_t from) const {
  // The last one or two bytes of the word must end some name.
  const char last = text[end - 1];
  if (!single_[static_cast<unsigned char>(last)]) {
    if (end - 1 == from) return std::nullopt;
    const std::size_t pair = end_pair(text[end - 2], last);
    if ((end_pairs_[pair / 64] >> (pair % 64) & 1) == 0) return std::nullopt;
  }
  std::size_t start = end - 1;
  while (start > from && is_alnum(text[start - 1])) --start;
  for (std::size_t q = start; q < end && is_first_letter(text[q]); ++q) {
    const int entry = find(text.substr(q, end - q));
    if (entry >= 0) return Call{q, end - q, entry};
  }
  return std::nullopt;
}

}  // namespace zaptor
