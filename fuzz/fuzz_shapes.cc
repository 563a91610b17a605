// Tables and sources built from the shapes that break rewriting engines.
//
// The input is a string of choices, not text: each byte picks the next
// part of a table of up to four entries and of a source. Entries have names
// that share prefixes and tails ("WinA", "Wi", "nA", "WWinA"), formats made
// of name fragments, parentheses, quotes, comment markers and conversions
// with widths and precisions, and orders that move, drop and repeat
// parameters; sources hold calls nested up to 64 deep, calls over several
// lines, calls that the input never closes, code commented out line by
// line, long stretches that the engine notes, strings and character
// literals. So names come back through parameters, through format text
// joined to a parameter, through cuts and through other entries, as the
// hand-written tables of fuzz_table_scan rarely make them.
//
// Checked on every input, as in the other scan harnesses: the programs'
// loop with the engine's short cuts and a plain line-by-line scan without
// them give the same bytes; the verbose echo is the input (or a prefix of
// it when a line's rewrites pass their budget); the engine works in
// proportion to its input and output and stays under a memory ceiling.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "engine/engine.h"
#include "harness_support.h"
#include "budgeted_runs.h"
#include "zaptor/compiled.h"
#include "zaptor/table_text.h"

namespace {

using zaptor::_apitype;

constexpr std::size_t kMemoryCeiling = std::size_t{256} << 20;
constexpr std::size_t kPlainCeiling = std::size_t{32} << 20;
constexpr std::size_t kMaxSource = std::size_t{1} << 15;

// The input's bytes as a stream of choices; zeros once it is used up.
class Choices {
 public:
  explicit Choices(std::string_view bytes) : bytes_(bytes) {}
  std::size_t pick(std::size_t n) {
    if (n <= 1) return 0;
    std::size_t value = next();
    if (n > 256) value = value << 8 | next();
    return value % n;
  }
  template <std::size_t N>
  std::string_view one_of(const std::array<std::string_view, N>& options) {
    return options[pick(N)];
  }
  bool left() const { return at_ < bytes_.size(); }

 private:
  std::size_t next() { return at_ < bytes_.size() ? static_cast<unsigned char>(bytes_[at_++]) : 0; }
  std::string_view bytes_;
  std::size_t at_ = 0;
};

constexpr std::array<std::string_view, 8> kNames = {"WinA", "WinB", "Wi", "nA", "WWinA", "X", "WinAB", "A"};
constexpr std::array<std::string_view, 22> kFormatText = {
    "-", " ", "(", ")", ",", "WinA", "WinB", "Wi", "nA", "inA", "W", "\"", "'", "/*", "*/", "//", "\n", ";", "x", "X(", "%%", "\\"};
constexpr std::array<std::string_view, 10> kConversions = {"%s", "%s", "%s", "%.1s", "%.3s", "%.0s",
                                                           "%.200s", "%3s", "%-2s", "%.9s"};
constexpr std::array<std::string_view, 16> kAtoms = {
    "a", "b", " c", "WinA", "Wi", "nA", "W", "' '", "'\\''", "\"s, (t\"", "/* , ) */", "// c\n", "x;y", "~", "\n  ", "0"};
constexpr std::array<std::string_view, 6> kCloses = {")", ", y)", " a)", ", 'q')", "\n)", ")) "};

_apitype make_entry(Choices& c) {
  _apitype entry;
  const std::string_view name = c.one_of(kNames);
  entry.pchName = std::string(name);
  entry.cb = static_cast<std::int32_t>(name.size());
  if (c.pick(8) != 0) {
    std::string format;
    const std::size_t tokens = c.pick(9);
    for (std::size_t t = 0; t < tokens; ++t) {
      format += c.pick(3) == 0 ? c.one_of(kConversions) : c.one_of(kFormatText);
    }
    entry.pchformat = format;
  }
  constexpr std::array<std::int32_t, 8> kOrders = {-1, 0, 0, 1, 1, 2, 3, 7};
  for (std::int32_t& slot : entry.iOrder) slot = kOrders[c.pick(kOrders.size())];
  return entry;
}

void add_call(Choices& c, std::string& out, int depth);

void add_params(Choices& c, std::string& out, int depth) {
  const std::size_t params = c.pick(5);
  for (std::size_t p = 0; p < params; ++p) {
    if (p > 0) out += c.pick(4) == 0 ? ",\n  " : ", ";
    switch (c.pick(6)) {
      case 0:
        if (depth < 4) {
          add_call(c, out, depth + 1);
          break;
        }
        [[fallthrough]];
      case 1:
        // Long enough for the engine to note it or to keep it as a unit.
        out += "/* " + std::string(130 + c.pick(200), 'l') + " */ ";
        [[fallthrough]];
      default:
        out += c.one_of(kAtoms);
    }
  }
}

void add_call(Choices& c, std::string& out, int depth) {
  out += c.one_of(kNames);
  if (c.pick(6) == 0) out += " ";
  out += "(";
  add_params(c, out, depth);
  out += ")";
}

// One shape of source.
void add_shape(Choices& c, std::string& out) {
  const std::string_view name = c.one_of(kNames);
  switch (c.pick(8)) {
    case 0:  // calls nested deep, each in a parameter of the one outside
    {
      const std::size_t levels = 1 + c.pick(64);
      const std::string_view close = c.one_of(kCloses);
      for (std::size_t i = 0; i < levels; ++i) out.append(name).append(c.pick(4) == 0 ? "(x, " : "(");
      out += c.one_of(kAtoms);
      for (std::size_t i = 0; i < levels; ++i) out += close;
      out += ";\n";
      break;
    }
    case 1:  // a call that swallows what follows it when rebuilt
      out.append(name).append("(y)");
      for (std::size_t i = c.pick(40); i > 0; --i) out += " a)";
      out += "\n";
      break;
    case 2:  // code commented out line by line
      for (std::size_t i = 1 + c.pick(6); i > 0; --i) out.append("// ").append(name).append("(h, M,\n");
      break;
    case 3:  // a call the input may never close
      out.append(name).append("(");
      add_params(c, out, 2);
      out += c.pick(2) == 0 ? "\n" : " /* ";
      break;
    case 4:  // names split by the line's end
      out.append(name).append("\n(z);\n");
      break;
    default:
      out += "x = ";
      add_call(c, out, 0);
      out += c.pick(3) == 0 ? " " : ";\n";
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Choices c(std::string_view(reinterpret_cast<const char*>(data), size));
  std::vector<_apitype> entries;
  for (std::size_t n = 1 + c.pick(4); n > 0; --n) entries.push_back(make_entry(c));
  std::string source;
  while (c.left() && source.size() < kMaxSource) add_shape(c, source);

  static const bool show = std::getenv("ZAPTOR_FUZZ_SHOW") != nullptr;
  if (show) {
    // The case in the text form of zaptor-table, and the source.
    std::fprintf(stderr, "%s== source\n%s\n== end\n", zaptor::format_table_text(entries).c_str(), source.c_str());
  }
  std::vector<std::string_view> names;
  for (const _apitype& entry : entries) names.push_back(*entry.pchName);
  if (!zaptor_fuzz::captures_within_budget(zaptor_fuzz::capture_work(source, names), source.size())) {
    return zaptor_fuzz::skip("deeply nested calls");
  }
  const zaptor_fuzz::Setup setup{zaptor::make_table(entries)};
  static zaptor_fuzz::Run fast;
  static zaptor_fuzz::Run plain;
  zaptor_fuzz::compare_budgeted_runs(source, setup, kMemoryCeiling, kPlainCeiling, false, fast, plain);
  return 0;
}
