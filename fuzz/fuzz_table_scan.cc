// The line scan with a macro table that the input itself describes.
//
// The input is a table, a line "==", and the source (everything after that
// line, bytes of any value). Without a "==" line the whole input is the
// table and the source is empty. The table is one line per entry:
//
//   name|format|cb|cParms|o0,o1,...,o7
//
// Name and format take the escapes \n \t \r \\ \| \0 and \xHH; an empty
// field is no name / no format; a field "\E" is a name or format that is
// present but empty. cb defaults to the name's length; it and the iOrder
// values are any 32-bit values (out-of-range ones reach the engine as they
// are), written in decimal, wrapping. Lines starting with "@" set the
// table exactly as given instead of as make_table() builds it:
//
//   @letters XYZ   chFirstBuf (escapes as above), instead of the first
//                  letters of the names
//   @num N         api_num, at most the number of entries (may be negative)
//   @echo          bEchoFormatted
//
// Checked on every input: the fast path and a plain line-by-line scan agree
// byte for byte; the verbose echo is the input (a prefix of it when a line's
// rewrites pass their budget and the run stops); a table none of whose keys
// occurs in the source leaves it untouched; the engine's own run stays
// within a work budget in proportion to its input and output and under a
// ceiling on its memory.
//
// The plain scan has none of the engine's short cuts, and what the engine
// does in linear time can take it the square of that. So inputs whose
// output or captures a cheap estimate finds large are left out (a parameter
// used twice in nested calls, a format that writes several calls, a width of
// a billion, deeply nested calls: see capture_work in harness_support.h);
// where the estimate falls short (formats that use a parameter twice), the
// plain scan runs under a small ceiling on its memory and the input is left
// out when it reaches it (memory_budget.h).
#include <algorithm>
#include <array>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/chartype.h"
#include "engine/engine.h"
#include "harness_support.h"
#include "budgeted_runs.h"
#include "zaptor/compiled.h"

namespace {

using zaptor::_apitype;

constexpr std::size_t kMaxEntries = 12;
constexpr std::size_t kMaxWidth = 4096;            // larger printf widths are skipped
constexpr double kOutputBudget = 32.0 * (1 << 20);  // estimated bytes
// What the two runs may allocate when the estimate falls short: little
// for a format that uses a parameter twice (see within_budget).
constexpr std::size_t kMemoryBudget = std::size_t{160} << 20;
constexpr std::size_t kDuplicatesMemoryBudget = std::size_t{4} << 20;

struct Table {
  std::vector<_apitype> entries;
  std::optional<std::string> letters;  // @letters
  std::optional<std::int32_t> num;     // @num
  bool echo = false;                   // @echo
};

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string unescape(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c != '\\' || i + 1 == text.size()) {
      out.push_back(c);
      continue;
    }
    const char e = text[++i];
    switch (e) {
      case 'n': out.push_back('\n'); break;
      case 't': out.push_back('\t'); break;
      case 'r': out.push_back('\r'); break;
      case '0': out.push_back('\0'); break;
      case 'x':
        if (i + 2 < text.size() && hex_value(text[i + 1]) >= 0 && hex_value(text[i + 2]) >= 0) {
          out.push_back(static_cast<char>(hex_value(text[i + 1]) * 16 + hex_value(text[i + 2])));
          i += 2;
        } else {
          out.push_back('x');
        }
        break;
      default: out.push_back(e); break;  // \\ \| and anything else: the byte itself
    }
  }
  return out;
}

std::optional<std::string> text_field(std::string_view field) {
  if (field.empty()) return std::nullopt;
  if (field == "\\E") return std::string();
  return unescape(field);
}

// A decimal integer, wrapping to 32 bits; junk after it is ignored.
std::int32_t int_field(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  std::uint32_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10u + static_cast<std::uint32_t>(text[i] - '0');
  }
  if (negative) value = 0u - value;
  return static_cast<std::int32_t>(value);
}

// Splits at '|' that is not escaped.
std::vector<std::string_view> split_fields(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '\\') {
      ++i;
    } else if (line[i] == '|') {
      fields.push_back(line.substr(start, i - start));
      start = i + 1;
    }
  }
  fields.push_back(line.substr(start));
  return fields;
}

_apitype parse_entry(std::string_view line) {
  const std::vector<std::string_view> f = split_fields(line);
  _apitype entry;
  entry.pchName = text_field(f[0]);
  if (f.size() > 1) entry.pchformat = text_field(f[1]);
  entry.cb = f.size() > 2 && !f[2].empty() ? int_field(f[2])
                                           : static_cast<std::int32_t>(entry.pchName ? entry.pchName->size() : 0);
  if (f.size() > 3) entry.cParms = int_field(f[3]);
  if (f.size() > 4) {
    std::string_view orders = f[4];
    for (std::size_t k = 0; k < entry.iOrder.size() && !orders.empty(); ++k) {
      const std::size_t sep = orders.find_first_of(", ");
      entry.iOrder[k] = int_field(orders.substr(0, sep));
      orders = sep == std::string_view::npos ? std::string_view{} : orders.substr(sep + 1);
    }
  }
  return entry;
}

// Splits the input into the table and the source.
Table parse_input(std::string_view input, std::string_view& source) {
  Table table;
  std::size_t pos = 0;
  source = {};
  while (pos < input.size()) {
    const std::size_t newline = input.find('\n', pos);
    const std::size_t end = newline == std::string_view::npos ? input.size() : newline;
    const std::string_view line = input.substr(pos, end - pos);
    pos = newline == std::string_view::npos ? input.size() : newline + 1;
    if (line == "==") {
      source = input.substr(pos);
      break;
    }
    if (line.starts_with("@letters ")) {
      table.letters = unescape(line.substr(9));
    } else if (line.starts_with("@num ")) {
      table.num = int_field(line.substr(5));
    } else if (line == "@echo") {
      table.echo = true;
    } else if (table.entries.size() < kMaxEntries) {
      table.entries.push_back(parse_entry(line));
    }
  }
  return table;
}

// What the input's table makes: a table as given, and the flag.
zaptor_fuzz::Setup setup_of(const Table& table) {
  const auto count = static_cast<std::int32_t>(table.entries.size());
  const std::int32_t num = table.num ? std::min(*table.num, count) : count;
  const std::string letters = table.letters ? *table.letters : zaptor::first_letters(table.entries);
  return {std::make_shared<const zaptor::Table>(table.entries, num, letters), table.echo};
}

// The text a word must be for the entry to match it, when there is one.
std::optional<std::string_view> key_of(const _apitype& entry) {
  if (!entry.pchName || entry.cb <= 0) return std::nullopt;
  const auto length = static_cast<std::size_t>(entry.cb);
  if (length > entry.pchName->size()) return std::nullopt;
  return std::string_view(*entry.pchName).substr(0, length);
}

std::size_t count_in(std::string_view text, std::string_view key, std::size_t cap) {
  std::size_t n = 0;
  for (std::size_t at = text.find(key); at != std::string_view::npos && n < cap; at = text.find(key, at + 1)) ++n;
  return n;
}

// The padding a format can add per call, or nullopt for a width past kMaxWidth.
std::optional<std::size_t> padding_of(std::string_view format) {
  std::size_t total = 0;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') continue;
    std::size_t j = i + 1;
    if (j < format.size() && format[j] == '%') {
      i = j;
      continue;
    }
    while (j < format.size() && std::string_view("-+ #0").find(format[j]) != std::string_view::npos) ++j;
    std::uint64_t width = 0;
    for (; j < format.size() && format[j] >= '0' && format[j] <= '9'; ++j) {
      width = std::min<std::uint64_t>(width * 10 + static_cast<std::uint64_t>(format[j] - '0'), 1ull << 40);
    }
    // A width that does not fit an int is no conversion: copied as written.
    if (width > kMaxWidth && width <= static_cast<std::uint64_t>(INT_MAX)) return std::nullopt;
    if (width <= kMaxWidth) total += width;
    i = j - 1;
  }
  return total;
}

double saturating_pow(double base, std::size_t exponent) {
  double r = 1;
  for (std::size_t k = 0; k < exponent && r < 1e18; ++k) r *= base;
  return r;
}

// A generous estimate of the output: nullopt when the input may blow up
// legitimately and is not worth a run; else the memory the runs may take.
std::optional<std::size_t> within_budget(const Table& table, std::string_view source) {
  const std::vector<_apitype>& entries = table.entries;
  const std::size_t n = entries.size();
  std::vector<std::optional<std::string_view>> keys(n);
  std::size_t literal = 0;  // most bytes one format writes itself
  double duplicates = 1;    // most uses of one parameter by one format
  std::size_t in_source = 0;
  for (std::size_t i = 0; i < n; ++i) {
    keys[i] = key_of(entries[i]);
    if (keys[i]) in_source += count_in(source, *keys[i], 1 << 20);
    if (entries[i].pchformat) {
      const auto padding = padding_of(*entries[i].pchformat);
      if (!padding) return std::nullopt;
      literal = std::max(literal, entries[i].pchformat->size() + *padding);
    }
    std::array<int, zaptor::kOrderSlots> uses{};
    for (const std::int32_t v : entries[i].iOrder) {
      if (v >= 0 && v < zaptor::kOrderSlots) duplicates = std::max(duplicates, static_cast<double>(++uses[v]));
    }
  }
  // Rewrites set off by one call through calls that formats write
  // themselves, a generation per entry.
  const std::size_t generations = std::max<std::size_t>(n, 1) + 1;
  std::vector<double> tree(n, 1);
  for (std::size_t g = 0; g < generations; ++g) {
    std::vector<double> next(n, 1);
    for (std::size_t i = 0; i < n; ++i) {
      if (!entries[i].pchformat) continue;
      for (std::size_t m = 0; m < n; ++m) {
        if (keys[m]) next[i] += static_cast<double>(count_in(*entries[i].pchformat, *keys[m], 256)) * tree[m];
      }
      next[i] = std::min(next[i], 1e18);
    }
    tree.swap(next);
  }
  const double widest_tree = n == 0 ? 1 : *std::max_element(tree.begin(), tree.end());
  // A parameter used twice doubles with every call rewritten around it,
  // the calls that formats write included. Calls whose spans reach into
  // the copies that earlier rewrites made can be rewritten again and again,
  // past any cheap estimate: such runs get a small memory ceiling instead.
  const double calls = std::min(static_cast<double>(in_source) * widest_tree, 1e6);
  const double growth = duplicates > 1 ? saturating_pow(duplicates, static_cast<std::size_t>(calls) + generations) : 1;
  const double estimate =
      (static_cast<double>(source.size()) + static_cast<double>(in_source) * widest_tree * static_cast<double>(literal + 8)) *
      growth;
  if (estimate > kOutputBudget) return std::nullopt;
  std::vector<std::string_view> names;
  for (const auto& key : keys) {
    if (key) names.push_back(*key);
  }
  if (!zaptor_fuzz::captures_within_budget(zaptor_fuzz::capture_work(source, names) * growth, source.size())) {
    return std::nullopt;
  }
  return duplicates > 1 ? kDuplicatesMemoryBudget : kMemoryBudget;
}

// Whether any key of an entry in use occurs in the source: without that no
// call can ever be rewritten.
bool may_match(const zaptor::Table& table, std::string_view source) {
  for (std::size_t i = 0; i < table.entries_in_use(); ++i) {
    const auto key = key_of(table.apilist()[i]);
    if (key && source.find(*key) != std::string_view::npos) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  std::string_view source;
  const Table table = parse_input(input, source);
  const std::optional<std::size_t> memory = within_budget(table, source);
  if (!memory) return zaptor_fuzz::skip("the output or the captures could grow too large");

  // Kept from one input to the next, with their memory.
  static zaptor_fuzz::Run fast;
  static zaptor_fuzz::Run plain;
  const zaptor_fuzz::Setup setup = setup_of(table);
  if (!zaptor_fuzz::compare_budgeted_runs(source, setup, kMemoryBudget, *memory, *memory == kDuplicatesMemoryBudget,
                                          fast, plain)) {
    return 0;
  }
  if (!may_match(*setup.table, source)) zaptor_fuzz::check_untouched(source, fast);
  return 0;
}
