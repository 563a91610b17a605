#include "zaptor/table_check.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <utility>

#include "engine/chartype.h"

namespace zaptor {

namespace {

std::string shown(std::string_view text) { return quote_text(text); }

std::string count_of(std::size_t n, std::string_view one, std::string_view many) {
  return std::to_string(n) + ' ' + std::string(n == 1 ? one : many);
}

// A comma and the blanks after it: with a parameter that keeps the blank
// after its own comma, the output has two.
bool is_comma_and_blanks(std::string_view text) {
  return text.size() >= 2 && text.front() == ',' &&
         text.find_first_not_of(" \t", 1) == std::string_view::npos;
}

class Checker {
 public:
  explicit Checker(const ParsedTable& table) : table_(table) {}

  std::vector<TableWarning> run() {
    for (std::size_t i = 0; i < table_.entries.size(); ++i) {
      const EntryLines lines = i < table_.lines.size() ? table_.lines[i] : EntryLines{};
      check_name(i, table_.entries[i], lines);
      if (table_.entries[i].pchformat) check_format(table_.entries[i], lines);
      check_parms(table_.entries[i], lines);
    }
    std::stable_sort(warnings_.begin(), warnings_.end(),
                     [](const TableWarning& a, const TableWarning& b) { return a.line < b.line; });
    return std::move(warnings_);
  }

 private:
  void warn(std::size_t line, std::string message) { warnings_.push_back({line, std::move(message)}); }

  // The engine matches a word that equals the name's first cb bytes; only
  // runs of letters and digits are words, and of entries with the same
  // word the first in the table wins.
  void check_name(std::size_t index, const _apitype& entry, const EntryLines& lines) {
    if (!entry.pchName) {
      warn(lines.name != 0 ? lines.name : lines.entry, "an entry without a name never matches");
      return;
    }
    const std::string_view name = *entry.pchName;
    const bool cb_fits = entry.cb > 0 && static_cast<std::size_t>(entry.cb) <= name.size();
    const std::string_view word = cb_fits ? name.substr(0, static_cast<std::size_t>(entry.cb)) : name;
    const auto odd = std::find_if_not(word.begin(), word.end(), is_alnum);
    if (odd != word.end()) {
      warn(lines.name, "name " + shown(name) + " never matches: it holds " + shown(std::string_view(&*odd, 1)) +
                           ", and calls are found as runs of the letters and digits A-Z a-z 0-9 only");
    }
    const std::string cb = "cb " + std::to_string(entry.cb);
    if (!cb_fits) {
      warn(lines.cb, entry.cb <= 0 ? cb + " leaves no name to match: the entry never matches"
                                   : cb + " is longer than the name " + shown(name) + " (" +
                                         count_of(name.size(), "byte", "bytes") + "): the entry never matches");
      return;
    }
    if (odd != word.end()) return;
    if (word.size() < name.size()) {
      warn(lines.cb, cb + " makes the entry match calls of " + shown(word) + " (the name's first " +
                         count_of(word.size(), "byte", "bytes") + "), never of " + shown(name));
    }
    const auto [first, fresh] = first_entry_.try_emplace(std::string(word), index);
    if (!fresh) {
      const std::size_t first_line = first->second < table_.lines.size() ? table_.lines[first->second].name : 0;
      warn(lines.name, "calls of " + shown(word) + " go to the entry on line " + std::to_string(first_line) +
                           ", the first that matches them: this entry never matches");
    }
  }

  void check_format(const _apitype& entry, const EntryLines& lines) {
    const std::string_view format = *entry.pchformat;
    std::size_t strings = 0;                     // the %s conversions so far
    const FormatConversion* previous = nullptr;  // the last of them
    const std::vector<FormatConversion> all = format_conversions(format);
    for (const FormatConversion& conversion : all) {
      if (conversion.kind == FormatConversion::kVerbatim) {
        warn(lines.format, shown(conversion.text) +
                               " in the format is copied as it stands: only %s (with flags, width and precision) "
                               "and %% are converted");
      }
      if (conversion.kind != FormatConversion::kString) continue;
      const std::size_t slot = strings++;
      // Parameter 0 follows "(", not a comma, and brings no blank.
      const bool takes_later_parameter = slot < entry.iOrder.size() && entry.iOrder[slot] > 0;
      if (previous != nullptr && takes_later_parameter) {
        const std::size_t after = previous->offset + previous->text.size();
        if (is_comma_and_blanks(format.substr(after, conversion.offset - after))) {
          warn(lines.format,
               shown(format.substr(previous->offset, conversion.offset + conversion.text.size() - previous->offset)) +
                   " doubles the blank: a parameter keeps the blank after its comma; write " +
                   shown(std::string(previous->text) + "," + std::string(conversion.text)));
        }
      }
      previous = &conversion;
    }
    if (strings > lines.order_values) {
      const std::string given =
          lines.order_values == 0 ? "the entry has no order" : "order gives " + count_of(lines.order_values, "value", "values");
      warn(lines.format, "the format has " + count_of(strings, "%s conversion", "%s conversions") + " but " +
                             given + ": a conversion without an order value takes no parameter and prints empty");
    }
  }

  // parms is not used by the engine; an order past it contradicts what the
  // table says of the call. Without a parms line the table says nothing.
  void check_parms(const _apitype& entry, const EntryLines& lines) {
    if (lines.parms == 0) return;
    std::vector<std::int32_t> past;
    for (std::size_t k = 0; k < std::min(lines.order_values, entry.iOrder.size()); ++k) {
      const std::int32_t v = entry.iOrder[k];
      if (v >= 0 && v >= entry.cParms && std::find(past.begin(), past.end(), v) == past.end()) past.push_back(v);
    }
    if (past.empty()) return;
    std::string values;
    for (const std::int32_t v : past) values += ' ' + std::to_string(v);
    std::string declared = "no parameters";
    if (entry.cParms == 1) declared = "parameter 0 only";
    if (entry.cParms > 1) declared = "parameters 0 to " + std::to_string(entry.cParms - 1);
    warn(lines.order, std::string(past.size() == 1 ? "order value" : "order values") + values +
                          (past.size() == 1 ? " is" : " are") + " past parms " + std::to_string(entry.cParms) +
                          ": the call is declared to have " + declared);
  }

  const ParsedTable& table_;
  std::vector<TableWarning> warnings_;
  std::map<std::string, std::size_t, std::less<>> first_entry_;  // by matched word
};

}  // namespace

std::vector<TableWarning> check_table(const ParsedTable& table) { return Checker(table).run(); }

}  // namespace zaptor
