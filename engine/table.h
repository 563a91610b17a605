// The macro table's entry and the index that finds, for a "(", the tabled
// name standing before it.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <memory>
#include <mutex>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/chartype.h"
#include "engine/format.h"

namespace zaptor {

inline constexpr int kOrderSlots = 8;  // arguments handed to a format

// One macro table entry.
struct _apitype {
  std::optional<std::string> pchName;    // nullopt: never matches
  std::optional<std::string> pchformat;  // nullopt: calls are deleted
  std::int32_t cb = 0;                   // name length used for matching
  std::int32_t cParms = 0;               // declared parameter count, kept only
  std::array<std::int32_t, kOrderSlots> iOrder{-1, -1, -1, -1, -1, -1, -1, -1};
};

// Finds the first entry, in table order, whose name matches a word, and the
// calls that stand before a "(".
//
// A word is a candidate from its first letter, and so is every tail of it
// that the scan reaches one character at a time over first letters; the
// leftmost candidate that is a name wins. Words are hashed as polynomials,
// so that every tail of a long word costs one step, and only tails whose
// length some name has are looked up: a word costs its length at most.
class ApiIndex {
 public:
  void build(const std::vector<_apitype>& apilist, std::int32_t api_num, std::string_view chFirstBuf);
  // Index of the entry that `word` names, or -1.
  int find(std::string_view word) const;
  bool is_first_letter(char c) const { return first_[static_cast<unsigned char>(c)]; }
  // The alphanumeric first letters.
  std::string_view first_letters() const { return first_letters_; }

  // Whether a word ending in `before_last`, `last` may end a name
  // (`before_last` is any byte that is no letter when the word has only one).
  bool may_end_name(char before_last, char last) const {
    if (!last_[static_cast<unsigned char>(last)]) return false;
    if (single_[static_cast<unsigned char>(last)]) return true;
    const std::size_t pair = end_pair(before_last, last);
    return (end_pairs_[pair / 64] >> (pair % 64) & 1) != 0;
  }

  // The candidate of `word` (a whole run of alphanumerics, cut where the
  // scan resumed) that names an entry: where it starts in the word.
  struct Match {
    std::size_t start;
    int entry;
  };
  std::optional<Match> match_word(std::string_view word) const;

  // The call, if any, that the scan from `from` finds with the "(" at
  // `open`: the candidate word before it (white space between them). Only
  // text from `from` on counts; with `one_line` the white space may not
  // hold a newline.
  struct Call {
    std::size_t pch;
    std::size_t length;
    int entry;
  };
  std::optional<Call> call_before(std::string_view text, std::size_t open, std::size_t from,
                                  bool one_line) const {
    std::size_t end = open;
    while (end > from && is_space(text[end - 1])) {
      if (one_line && text[end - 1] == '\n') return std::nullopt;
      --end;
    }
    // Most "(" follow a byte that ends no name: one look rejects them.
    if (end == from || !may_end_name(end - 1 > from ? text[end - 2] : 0, text[end - 1])) return std::nullopt;
    std::size_t start = end - 1;
    while (start > from && is_alnum(text[start - 1])) --start;
    const auto match = match_word(text.substr(start, end - start));
    if (!match) return std::nullopt;
    return Call{start + match->start, end - start - match->start, match->entry};
  }

 private:
  struct Slot {
    std::uint32_t tag = 0;  // high bits of the key's hash
    int entry = -1;         // -1: free
  };
  static std::size_t end_pair(char before_last, char last) {
    return static_cast<std::size_t>(static_cast<unsigned char>(before_last)) << 8 | static_cast<unsigned char>(last);
  }
  bool has_length(char first, std::size_t length) const;
  int probe(const std::vector<Slot>& slots, std::uint64_t hash, std::string_view word) const;
  static void insert(std::vector<Slot>& slots, std::uint64_t hash, int entry) {
    std::size_t at = hash & (slots.size() - 1);
    while (slots[at].entry >= 0) at = (at + 1) & (slots.size() - 1);
    slots[at] = {static_cast<std::uint32_t>(hash >> 32), entry};
  }
  int find_hashed(std::uint64_t polynomial, std::string_view word) const;
  int find_whole(std::string_view word) const;
  std::optional<Match> match_tails(std::string_view word, std::size_t from, std::size_t run) const;
  // A bit for the first two bytes and the length of a name: a word whose
  // bit is clear names nothing, however many names there are.
  static std::size_t start_bit(std::string_view word) {
    const std::uint32_t b0 = static_cast<unsigned char>(word[0]);
    const std::uint32_t b1 = word.size() > 1 ? static_cast<unsigned char>(word[1]) : 0;
    const auto length = static_cast<std::uint32_t>(std::min<std::size_t>(word.size(), 255));
    return ((b0 << 16 | b1 << 8 | length) * 0x9E3779B1U) >> 16;
  }
  bool may_start(std::string_view word) const {
    const std::size_t bit = start_bit(word);
    return (start_bits_[bit / 64] >> (bit % 64) & 1) != 0;
  }

  std::array<bool, 256> first_{};                // alphanumeric first letters
  std::string first_letters_;
  std::array<bool, 256> last_{};                 // last letters of names
  std::array<bool, 256> single_{};               // names of one letter
  std::array<std::uint64_t, 1024> end_pairs_{};  // bit: some name ends in these two bytes
  std::array<std::uint64_t, 256> lengths_{};     // by first letter: bit n, a name of length n (bit 0: longer than 63)
  std::vector<bool> long_lengths_;               // lengths over 63 that some name has
  std::size_t longest_ = 0;
  std::vector<std::uint64_t> powers_;            // of the hash's base, up to longest_
  std::vector<Slot> slots_;                      // open addressing; size a power of two
  std::vector<Slot> whole_slots_;                // the same names by their quick hash
  std::array<std::uint64_t, 1024> start_bits_{}; // see start_bit()
  std::vector<std::string_view> keys_;           // by entry: the word it matches
};

// The macro table, as the engine reads it: the entries, how many of them
// are in use, the first letters of their names, the index over them and
// their formats. Built once and never changed after (a format is read at
// its first use, once, under a flag of its own), so that any number of
// conversions, in any threads, can share one.
class Table {
 public:
  // A table of all of `entries`, the first letters in the order in which
  // the names bring them.
  explicit Table(std::vector<_apitype> entries);
  // A table exactly as given: api_num may count fewer entries than there
  // are (or be negative: none), chFirstBuf any letters.
  Table(std::vector<_apitype> apilist, std::int32_t api_num, std::string chFirstBuf);
  Table(const Table&) = delete;  // the index and formats refer into it
  Table& operator=(const Table&) = delete;

  const std::vector<_apitype>& apilist() const { return apilist_; }
  std::int32_t api_num() const { return api_num_; }
  const std::string& chFirstBuf() const { return chFirstBuf_; }
  // The entries in use: the first api_num of them.
  std::size_t entries_in_use() const;
  const ApiIndex& index() const { return index_; }
  // Entry `entry`'s format; null for an entry without one.
  const CompiledFormat* format(std::size_t entry) const;
  // The longest name a word can match.
  std::size_t longest_name() const { return longest_name_; }

 private:
  void build();

  std::vector<_apitype> apilist_;
  std::int32_t api_num_;
  std::string chFirstBuf_;
  ApiIndex index_;
  // Read at first use (see format()); each slot is written once, under its flag.
  mutable std::vector<std::unique_ptr<CompiledFormat>> formats_;
  std::unique_ptr<std::once_flag[]> format_once_;
  std::size_t longest_name_ = 0;
};

// The distinct first bytes of the names in order of first appearance; an
// entry without a name adds nothing.
std::string first_letters(const std::vector<_apitype>& entries);

// A table of all of `entries`, to share.
std::shared_ptr<const Table> make_table(std::vector<_apitype> entries);

}  // namespace zaptor
