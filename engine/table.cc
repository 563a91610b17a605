#include "engine/table.h"

#include <algorithm>
#include <bit>
#include <limits>

namespace zaptor {

namespace {

// Polynomial hashes modulo the Mersenne prime 2^61 - 1: a tail's hash comes
// from the next shorter tail's in one step, and crafted words do not
// collide as they would modulo 2^64.
constexpr std::uint64_t kModulus = (std::uint64_t{1} << 61) - 1;
constexpr std::uint64_t kBase = 0x1F3A9C5B7D2E4681ULL % kModulus;

__extension__ typedef unsigned __int128 Wide;

std::uint64_t mul_mod(std::uint64_t a, std::uint64_t b) {
  const Wide product = static_cast<Wide>(a) * b;
  const std::uint64_t sum = static_cast<std::uint64_t>(product & kModulus) + static_cast<std::uint64_t>(product >> 61);
  return sum >= kModulus ? sum - kModulus : sum;
}

std::uint64_t add_mod(std::uint64_t a, std::uint64_t b) {
  const std::uint64_t sum = a + b;
  return sum >= kModulus ? sum - kModulus : sum;
}

std::uint64_t byte_value(char c) { return static_cast<std::uint64_t>(static_cast<unsigned char>(c)) + 1; }

std::uint64_t polynomial(std::string_view word) {
  std::uint64_t h = 0;
  for (const char c : word) h = add_mod(mul_mod(h, kBase), byte_value(c));
  return h;
}

// The slot hash: the polynomial mixed with the length.
std::uint64_t slot_hash(std::uint64_t polynomial, std::size_t length) {
  std::uint64_t h = polynomial ^ (static_cast<std::uint64_t>(length) * 0x9E3779B97F4A7C15ULL);
  h ^= h >> 31;
  h *= 0xBF58476D1CE4E5B9ULL;
  return h ^ (h >> 29);
}

// A quick hash of a whole word, eight bytes a step, for the lookup of a
// word that is a name as it stands (the common case); a word that collides
// costs a comparison with the names in its slots, which the table fixes.
std::uint64_t mix(std::uint64_t x) {
  x *= 0xBF58476D1CE4E5B9ULL;
  x ^= x >> 31;
  x *= 0x94D049BB133111EBULL;
  return x ^ (x >> 29);
}

std::uint64_t chunk(std::string_view part) {
  std::uint64_t c = 0;
  for (std::size_t i = 0; i < part.size(); ++i) c |= static_cast<std::uint64_t>(static_cast<unsigned char>(part[i])) << (8 * i);
  return c;
}

std::uint64_t quick_hash(std::string_view word) {
  std::uint64_t h = mix(0x9E3779B97F4A7C15ULL ^ word.size());
  for (; word.size() > 8; word.remove_prefix(8)) h = mix(h ^ chunk(word.substr(0, 8)));
  return mix(h ^ chunk(word));
}

std::uint64_t length_bit(std::size_t length) { return length < 64 ? std::uint64_t{1} << length : 1; }

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

void ApiIndex::build(const std::vector<_apitype>& apilist, std::int32_t api_num, std::string_view chFirstBuf) {
  first_.fill(false);
  last_.fill(false);
  single_.fill(false);
  end_pairs_.fill(0);
  lengths_.fill(0);
  long_lengths_.clear();
  longest_ = 0;
  first_letters_.clear();
  for (char c : chFirstBuf) {
    if (!is_alnum(c) || first_[static_cast<unsigned char>(c)]) continue;
    first_[static_cast<unsigned char>(c)] = true;
    first_letters_.push_back(c);
  }
  const std::size_t count = api_num <= 0 ? 0 : std::min(apilist.size(), static_cast<std::size_t>(api_num));
  slots_.assign(std::bit_ceil(2 * count + 2), Slot{});
  whole_slots_.assign(slots_.size(), Slot{});
  start_bits_.fill(0);
  keys_.assign(count, {});
  for (std::size_t i = 0; i < count; ++i) {
    const auto key = match_key(apilist[i]);
    if (!key) continue;
    // The first entry of a name stays: table order decides.
    const std::uint64_t poly = polynomial(*key);
    if (has_length(key->front(), key->size()) && find_hashed(poly, *key) >= 0) continue;
    insert(slots_, slot_hash(poly, key->size()), static_cast<int>(i));
    insert(whole_slots_, quick_hash(*key), static_cast<int>(i));
    const std::size_t bit = start_bit(*key);
    start_bits_[bit / 64] |= std::uint64_t{1} << (bit % 64);
    keys_[i] = *key;
    lengths_[static_cast<unsigned char>(key->front())] |= length_bit(key->size());
    if (key->size() >= 64) {
      if (long_lengths_.size() <= key->size()) long_lengths_.resize(key->size() + 1);
      long_lengths_[key->size()] = true;
    }
    longest_ = std::max(longest_, key->size());
    last_[static_cast<unsigned char>(key->back())] = true;
    if (key->size() == 1) {
      single_[static_cast<unsigned char>(key->back())] = true;
    } else {
      const std::size_t pair = end_pair((*key)[key->size() - 2], key->back());
      end_pairs_[pair / 64] |= std::uint64_t{1} << (pair % 64);
    }
  }
  powers_.assign(longest_ + 1, 1);
  for (std::size_t n = 1; n <= longest_; ++n) powers_[n] = mul_mod(powers_[n - 1], kBase);
}

bool ApiIndex::has_length(char first, std::size_t length) const {
  const std::uint64_t bits = lengths_[static_cast<unsigned char>(first)];
  if (length < 64) return (bits >> length & 1) != 0;
  return (bits & 1) != 0 && length < long_lengths_.size() && long_lengths_[length];
}

int ApiIndex::probe(const std::vector<Slot>& slots, std::uint64_t h, std::string_view word) const {
  const auto tag = static_cast<std::uint32_t>(h >> 32);
  const std::size_t mask = slots.size() - 1;
  for (std::size_t at = h & mask; slots[at].entry >= 0; at = (at + 1) & mask) {
    const Slot& slot = slots[at];
    if (slot.tag == tag && keys_[static_cast<std::size_t>(slot.entry)] == word) return slot.entry;
  }
  return -1;
}

int ApiIndex::find_hashed(std::uint64_t poly, std::string_view word) const {
  return probe(slots_, slot_hash(poly, word.size()), word);
}

int ApiIndex::find_whole(std::string_view word) const { return probe(whole_slots_, quick_hash(word), word); }

int ApiIndex::find(std::string_view word) const {
  if (word.empty() || slots_.empty() || !has_length(word.front(), word.size())) return -1;
  return find_hashed(polynomial(word), word);
}

std::optional<ApiIndex::Match> ApiIndex::match_word(std::string_view word) const {
  // Candidates start within the run of first letters that begins the word,
  // and are no longer than the longest name.
  const std::size_t reach = std::min(word.size(), longest_);
  const std::size_t lowest = word.size() - reach;
  std::size_t run = 0;
  while (run < word.size() && is_first_letter(word[run])) ++run;
  if (run <= lowest) return std::nullopt;
  // Each candidate whose start and length may be a name's is looked up by a
  // hash of its own; the leftmost is most often the whole word, and a name.
  // A word with many such candidates (a table of many names) is hashed tail
  // by tail in one pass instead, so that a word costs its length at most a
  // few times over.
  constexpr int kLookups = 4;
  int lookups = 0;
  for (std::size_t q = lowest; q < run; ++q) {
    const std::string_view tail = word.substr(q);
    if (!has_length(tail.front(), tail.size()) || !may_start(tail)) continue;
    if (++lookups > kLookups) return match_tails(word, q, run);
    if (const int entry = find_whole(tail); entry >= 0) return Match{q, entry};
  }
  return std::nullopt;
}

// The candidates of `word` from `from` to `run`, by the rolling hashes of
// its tails.
std::optional<ApiIndex::Match> ApiIndex::match_tails(std::string_view word, std::size_t from, std::size_t run) const {
  const std::size_t reach = word.size() - from;
  // The hashes of the tails from `from` on, shortest first.
  constexpr std::size_t kInline = 64;
  std::array<std::uint64_t, kInline> inline_hashes;
  std::vector<std::uint64_t> long_hashes;
  std::uint64_t* hashes = inline_hashes.data();
  if (reach > kInline) {
    long_hashes.resize(reach);
    hashes = long_hashes.data();
  }
  std::uint64_t h = 0;
  for (std::size_t i = 0; i < reach; ++i) {
    const std::size_t q = word.size() - 1 - i;
    h = add_mod(mul_mod(byte_value(word[q]), powers_[i]), h);
    hashes[i] = h;
  }
  for (std::size_t q = from; q < run; ++q) {
    const std::size_t length = word.size() - q;
    if (!has_length(word[q], length)) continue;
    const int entry = find_hashed(hashes[length - 1], word.substr(q));
    if (entry >= 0) return Match{q, entry};
  }
  return std::nullopt;
}

std::string first_letters(const std::vector<_apitype>& entries) {
  std::string letters;
  for (const _apitype& entry : entries) {
    if (!entry.pchName || entry.pchName->empty()) continue;
    const char c = entry.pchName->front();
    if (letters.find(c) == std::string::npos) letters.push_back(c);
  }
  return letters;
}

namespace {
std::int32_t count_of(std::size_t entries) {
  constexpr auto kMax = static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());
  return static_cast<std::int32_t>(std::min(entries, kMax));
}
}  // namespace

Table::Table(std::vector<_apitype> entries)
    : apilist_(std::move(entries)), api_num_(count_of(apilist_.size())), chFirstBuf_(first_letters(apilist_)) {
  build();
}

Table::Table(std::vector<_apitype> apilist, std::int32_t api_num, std::string chFirstBuf)
    : apilist_(std::move(apilist)), api_num_(api_num), chFirstBuf_(std::move(chFirstBuf)) {
  build();
}

std::size_t Table::entries_in_use() const {
  return api_num_ <= 0 ? 0 : std::min(apilist_.size(), static_cast<std::size_t>(api_num_));
}

void Table::build() {
  index_.build(apilist_, api_num_, chFirstBuf_);
  formats_.resize(apilist_.size());
  format_once_ = std::make_unique<std::once_flag[]>(apilist_.size());
  for (std::size_t i = 0; i < entries_in_use(); ++i) {
    longest_name_ = std::max(longest_name_, static_cast<std::size_t>(std::max(apilist_[i].cb, 0)));
  }
}

// A format is read when its entry first rewrites a call, once for all the
// conversions that share the table: a table of many entries of which a
// source uses a few costs little to load.
const CompiledFormat* Table::format(std::size_t entry) const {
  std::call_once(format_once_[entry], [&] {
    if (apilist_[entry].pchformat) formats_[entry] = std::make_unique<CompiledFormat>(*apilist_[entry].pchformat);
  });
  return formats_[entry].get();
}

std::shared_ptr<const Table> make_table(std::vector<_apitype> entries) {
  return std::make_shared<const Table>(std::move(entries));
}

}  // namespace zaptor
