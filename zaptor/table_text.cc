#include "zaptor/table_text.h"

#include <array>
#include <charconv>
#include <cstdint>
#include <system_error>
#include <utility>

#include "engine/chartype.h"
#include "zaptor/compiled.h"

namespace zaptor {

namespace {

struct Token {
  bool quoted = false;
  std::string text;
};

// Thrown inside the parser only; parse_table_text turns it into a TextError.
struct Fault {
  std::string message;
};

// The line ends at '\n'; a '\r' before it is white space, so CRLF files read
// like LF files.
bool is_blank(char c) { return c != '\n' && is_space(c); }

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Shows a piece of the user's text in a message without letting control
// bytes loose on the terminal.
std::string shown(std::string_view text) { return quote_text(text); }

// Parses the quoted string starting at line[pos] == '"'; pos ends after the
// closing quote.
std::string read_quoted(std::string_view line, std::size_t& pos) {
  std::string out;
  std::size_t i = pos + 1;
  while (true) {
    if (i >= line.size()) throw Fault{"quoted string not closed on its line"};
    const char c = line[i];
    if (c == '"') break;
    if (c == '\0') throw Fault{"a NUL byte cannot be stored in a field"};
    if (c != '\\') {
      out.push_back(c);
      ++i;
      continue;
    }
    if (i + 1 >= line.size()) throw Fault{"quoted string not closed on its line"};
    const char e = line[i + 1];
    i += 2;
    switch (e) {
      case 'n': out.push_back('\n'); break;
      case 't': out.push_back('\t'); break;
      case 'r': out.push_back('\r'); break;
      case '\\': out.push_back('\\'); break;
      case '"': out.push_back('"'); break;
      case '\'': out.push_back('\''); break;
      case 'a': out.push_back('\a'); break;
      case 'b': out.push_back('\b'); break;
      case 'f': out.push_back('\f'); break;
      case 'v': out.push_back('\v'); break;
      case '?': out.push_back('?'); break;
      case 'x': {
        const int hi = i < line.size() ? hex_value(line[i]) : -1;
        const int lo = i + 1 < line.size() ? hex_value(line[i + 1]) : -1;
        if (hi < 0 || lo < 0) throw Fault{"\\x needs two hex digits"};
        const int value = hi * 16 + lo;
        // The fields end at their first NUL, so it could never load back.
        if (value == 0) throw Fault{"\\x00 cannot be stored in a field"};
        out.push_back(static_cast<char>(value));
        i += 2;
        break;
      }
      default: {
        const auto u = static_cast<unsigned char>(e);
        if (u > 0x20 && u < 0x7F) throw Fault{std::string("unknown escape \\") + e};
        throw Fault{"unknown escape: a backslash before byte " + shown(std::string(1, e))};
      }
    }
  }
  pos = i + 1;
  return out;
}

// Splits a line into its words up to a comment.
std::vector<Token> tokenize(std::string_view line) {
  std::vector<Token> tokens;
  std::size_t pos = 0;
  while (true) {
    while (pos < line.size() && is_blank(line[pos])) ++pos;
    if (pos >= line.size() || line[pos] == '#') return tokens;
    if (line[pos] == '"') {
      tokens.push_back({true, read_quoted(line, pos)});
      continue;
    }
    const std::size_t start = pos;
    while (pos < line.size() && !is_blank(line[pos]) && line[pos] != '#' && line[pos] != '"') {
      if (line[pos] == '\0') throw Fault{"a NUL byte cannot be stored in a field"};
      ++pos;
    }
    tokens.push_back({false, std::string(line.substr(start, pos - start))});
  }
}

std::int32_t to_int(const Token& token, std::string_view keyword) {
  if (token.quoted) throw Fault{std::string(keyword) + " takes integers, not a quoted string"};
  const std::string& t = token.text;
  std::int32_t value = 0;
  const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), value, 10);
  // from_chars accepts no '+' and no white space, and never looks at the
  // locale; it must use the whole word.
  if (ec == std::errc::result_out_of_range) {
    throw Fault{shown(t) + " is out of range for a 32-bit integer"};
  }
  if (ec != std::errc() || end != t.data() + t.size()) {
    throw Fault{std::string(keyword) + " takes integers, " + shown(t) + " is not one"};
  }
  return value;
}

std::optional<std::string> to_text(const Token& token, std::string_view keyword) {
  if (token.text.size() > kMaxTextLength) {
    throw Fault{std::string(keyword) + " is " + std::to_string(token.text.size()) +
                " bytes long, at most " + std::to_string(kMaxTextLength) + " fit its field"};
  }
  if (token.text.empty()) return std::nullopt;
  return token.text;
}

enum Field { kName, kCb, kParms, kOrder, kFormat, kFieldCount };

struct Keyword {
  std::string_view word;
  Field field;
};
constexpr std::array<Keyword, kFieldCount> kKeywords{{
    {"name", kName}, {"cb", kCb}, {"parms", kParms}, {"order", kOrder}, {"format", kFormat}}};

class Parser {
 public:
  void line(std::vector<Token> tokens, std::size_t number) {
    if (tokens.empty()) return;
    const Token& head = tokens.front();
    if (head.quoted) throw Fault{"a line starts with a keyword, not a quoted string"};
    const std::vector<Token> values(std::make_move_iterator(tokens.begin() + 1),
                                    std::make_move_iterator(tokens.end()));
    if (head.text == "entry") {
      if (!values.empty()) throw Fault{"entry takes no values"};
      finish();
      entries_.emplace_back();
      lines_.emplace_back().entry = number;
      open_ = true;
      seen_.fill(false);
      return;
    }
    const Keyword* keyword = nullptr;
    for (const Keyword& k : kKeywords) {
      if (k.word == head.text) keyword = &k;
    }
    if (keyword == nullptr) throw Fault{"unknown keyword " + shown(head.text)};
    const std::string word(keyword->word);
    if (!open_) throw Fault{word + " before the first entry"};
    if (seen_[keyword->field]) throw Fault{word + " given twice in one entry"};
    seen_[keyword->field] = true;
    if (values.empty()) throw Fault{word + " needs a value"};
    _apitype& entry = entries_.back();
    EntryLines& lines = lines_.back();
    switch (keyword->field) {
      case kName:
        one_value(values, word);
        entry.pchName = to_text(values[0], word);
        lines.name = number;
        break;
      case kCb:
        one_value(values, word);
        entry.cb = to_int(values[0], word);
        lines.cb = number;
        break;
      case kParms:
        one_value(values, word);
        entry.cParms = to_int(values[0], word);
        lines.parms = number;
        break;
      case kOrder:
        if (values.size() > entry.iOrder.size()) {
          throw Fault{"order takes at most 8 values, " + std::to_string(values.size()) + " given"};
        }
        for (std::size_t k = 0; k < values.size(); ++k) {
          const std::int32_t v = to_int(values[k], word);
          // Anything else would load as -1 and not survive a round trip.
          if (v < -1 || v >= kOrderSlots) {
            throw Fault{"order value " + std::to_string(v) + " is neither -1 nor 0 to 7"};
          }
          entry.iOrder[k] = v;
        }
        lines.order = number;
        lines.order_values = values.size();
        break;
      case kFormat:
        one_value(values, word);
        if (!values[0].quoted) throw Fault{"format takes a quoted string"};
        entry.pchformat = to_text(values[0], word);
        lines.format = number;
        break;
      case kFieldCount:
        break;
    }
  }

  std::vector<_apitype> take() {
    finish();
    return std::move(entries_);
  }
  std::vector<EntryLines> take_lines() { return std::move(lines_); }

 private:
  static void one_value(const std::vector<Token>& values, const std::string& word) {
    if (values.size() != 1) {
      throw Fault{word + " takes one value, " + std::to_string(values.size()) + " given"};
    }
  }

  // cb defaults to the name's length, which is known only at the entry's end.
  void finish() {
    if (!open_ || seen_[kCb]) return;
    _apitype& entry = entries_.back();
    entry.cb = entry.pchName ? static_cast<std::int32_t>(entry.pchName->size()) : 0;
  }

  std::vector<_apitype> entries_;
  std::vector<EntryLines> lines_;
  bool open_ = false;
  std::array<bool, kFieldCount> seen_{};
};

}  // namespace

bool is_bare_word(std::string_view text) {
  if (text.empty()) return false;
  for (const char c : text) {
    if (!is_alnum(c) && c != '_') return false;
  }
  return true;
}

std::string quote_text(std::string_view bytes) {
  static constexpr std::string_view kHex = "0123456789ABCDEF";
  std::string out = "\"";
  for (const char c : bytes) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\\') {
      out += "\\\\";
    } else if (c == '"') {
      out += "\\\"";
    } else if (u < 0x20 || u >= 0x7F) {
      out += "\\x";
      out.push_back(kHex[u >> 4]);
      out.push_back(kHex[u & 0x0F]);
    } else {
      out.push_back(c);
    }
  }
  out.push_back('"');
  return out;
}

ParsedTable parse_table_text(std::string_view text) {
  ParsedTable result;
  Parser parser;
  std::size_t line_number = 0;
  std::size_t start = 0;
  while (start < text.size()) {
    ++line_number;
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    try {
      parser.line(tokenize(text.substr(start, end - start)), line_number);
    } catch (Fault& fault) {
      result.error = TextError{line_number, std::move(fault.message)};
      return result;
    }
    start = end + 1;
  }
  result.entries = parser.take();
  result.lines = parser.take_lines();
  return result;
}

std::string format_table_text(const std::vector<_apitype>& entries) {
  std::string out;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const _apitype& entry = entries[i];
    if (i > 0) out += '\n';
    out += "entry\n";
    const bool named = entry.pchName && !entry.pchName->empty();
    const std::size_t name_length = named ? entry.pchName->size() : 0;
    if (named) {
      out += "name   ";
      out += is_bare_word(*entry.pchName) ? *entry.pchName : quote_text(*entry.pchName);
      out += '\n';
    }
    if (entry.cb < 0 || static_cast<std::size_t>(entry.cb) != name_length) {
      out += "cb     " + std::to_string(entry.cb) + '\n';
    }
    out += "parms  " + std::to_string(entry.cParms) + '\n';
    std::size_t used = entry.iOrder.size();
    while (used > 0 && entry.iOrder[used - 1] == -1) --used;
    if (used > 0) {
      out += "order ";
      for (std::size_t k = 0; k < used; ++k) out += ' ' + std::to_string(entry.iOrder[k]);
      out += '\n';
    }
    if (entry.pchformat && !entry.pchformat->empty()) {
      out += "format " + quote_text(*entry.pchformat) + '\n';
    }
  }
  return out;
}

}  // namespace zaptor
