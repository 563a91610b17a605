// Conversions as a library: many at once, and what they tell as they go.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "engine/engine.h"

namespace zaptor {
namespace {

_apitype entry(const char* name, const char* format, std::vector<std::int32_t> order) {
  _apitype e;
  e.pchName = name;
  e.cb = static_cast<std::int32_t>(e.pchName->size());
  if (format != nullptr) e.pchformat = format;
  for (std::size_t k = 0; k < order.size(); ++k) e.iOrder[k] = order[k];
  return e;
}

// The converted text; what the conversion tells goes to `events` when given.
std::string convert(const std::shared_ptr<const Table>& table, std::string_view source, Events* events = nullptr) {
  std::string out;
  LineReader reader(source);
  Output sink(out);
  Conversion conversion(table);
  conversion.events = events;
  conversion.fp_src = &reader;
  conversion.fp_dst = &sink;
  conversion.process_source(reader, &sink);
  return out;
}

// A source that exercises every part of the engine: nested calls, moved
// parameters, calls over lines, reports, calls left open at the end.
std::string busy_source(int n) {
  std::string text;
  for (int i = 0; i < n; ++i) {
    text += "x = WinA(WinB(a;b, WinA(c, d)), e) + WinB(f,\n  g);\n";
    text += "// WinA(h, WinB(i,\n";
  }
  return text + "WinA(open, WinB(k, l)\n";
}

// Two conversions with different tables, each in a thread of its own, give
// the bytes they give one at a time (run it under the thread sanitizer
// preset to check that they share nothing).
TEST(Conversions, RunAtOnceInThreadsAsOneAtATime) {
  const auto first = make_table({entry("WinA", "A(%s|%s)", {1, 0}), entry("WinB", "B<%s>", {0})});
  const auto second = make_table({entry("WinB", "-%s-%s", {1, 1}), entry("WinA", nullptr, {})});
  const std::string source = busy_source(300);
  const std::string alone_first = convert(first, source);
  const std::string alone_second = convert(second, source);
  ASSERT_NE(alone_first, alone_second);
  // A third shares the first's table, whose formats are read at first use.
  const auto shared = make_table({entry("WinA", "A(%s|%s)", {1, 0}), entry("WinB", "B<%s>", {0})});
  std::string together_first, together_second, together_shared;
  std::thread a([&] { together_first = convert(shared, source); });
  std::thread b([&] { together_second = convert(second, source); });
  std::thread c([&] { together_shared = convert(shared, source); });
  a.join();
  b.join();
  c.join();
  EXPECT_EQ(together_first, alone_first);
  EXPECT_EQ(together_second, alone_second);
  EXPECT_EQ(together_shared, alone_first);
}

// Events are told with the source line of the call, a call over several
// lines on the line of its name.
class Recorder : public Events {
 public:
  void rewritten(int entry, std::uint64_t line) override { seen.push_back({"rewritten", entry, line, 0}); }
  void invalid_character(char c, int times, int entry, std::uint64_t line) override {
    seen.push_back({"invalid", entry, line, c});
    (void)times;
  }
  void open_call(int entry, std::uint64_t line) override { seen.push_back({"open", entry, line, 0}); }
  void stopped(std::uint64_t line) override { seen.push_back({"stopped", -1, line, 0}); }
  struct Event {
    std::string what;
    int entry;
    std::uint64_t line;
    char c;
    bool operator==(const Event&) const = default;
    friend std::ostream& operator<<(std::ostream& os, const Event& e) {
      return os << e.what << " " << e.entry << " line " << e.line;
    }
  };
  std::vector<Event> seen;
};

TEST(Conversions, TellWhatHappenedWithTheSourceLine) {
  const auto table = make_table({entry("WinA", "A(%s)", {0}), entry("WinB", "B", {})});
  Recorder recorder;
  const std::string out = convert(table, "one\nx = WinA(a;\n b) WinB(c)\nWinA(~)\n\nWinA(open\n", &recorder);
  const std::vector<Recorder::Event> expected = {
      {"invalid", 0, 2, ';'}, {"rewritten", 0, 2, 0}, {"rewritten", 1, 3, 0},
      {"invalid", 0, 4, '~'}, {"rewritten", 0, 4, 0}, {"open", 0, 6, 0},
  };
  EXPECT_EQ(recorder.seen, expected);
  // With a sink of its own, the conversion writes no report lines.
  EXPECT_EQ(out, "one\nx = A(a;\n b) B\nA(~)\n\nWinA(open\n");
}

// A rewrite that drops a parameter over lines, or moves one, leaves the
// later calls on the lines their names stand on in the source.
TEST(Conversions, TellSourceLinesAfterRewritesThatDropOrMoveLines) {
  const auto table = make_table({entry("WinA", "A", {}), entry("WinB", "B(%s)", {0}),
                                 entry("WinC", "C(%s|%s)", {1, 0})});
  Recorder recorder;
  const std::string out = convert(table, "WinA(x,\n y,\n z) WinB(1)\nWinC(WinB(2),\n WinB(3)) WinB(\n4)\n", &recorder);
  const std::vector<Recorder::Event> expected = {
      {"rewritten", 0, 1, 0}, {"rewritten", 1, 3, 0}, {"rewritten", 2, 4, 0},
      {"rewritten", 1, 5, 0}, {"rewritten", 1, 4, 0}, {"rewritten", 1, 5, 0},
  };
  EXPECT_EQ(recorder.seen, expected);
  EXPECT_EQ(out, "A B(1)\nC(\n B(3)|B(2)) B(\n4)\n");
}

// A sink that lists a parameter gets its text as the call holds it, also
// of calls nested in the parameters a format keeps.
class ParameterLister : public Events {
 public:
  explicit ParameterLister(bool keeps) : keeps_(keeps) {}
  bool keeps_calls() const override { return keeps_; }
  int wanted_parameter(int entry) const override { return entry == 0 ? 1 : -1; }
  void parameter(int entry, std::uint64_t line, std::string_view text) override {
    seen.push_back(std::to_string(entry) + ":" + std::to_string(line) + ":" + std::string(text));
  }
  void invalid_character(char, int, int, std::uint64_t) override {}
  std::vector<std::string> seen;

 private:
  bool keeps_;
};

TEST(Conversions, HandTheWantedParameterToTheSink) {
  const auto table = make_table(
      {entry("WinS", "-(%s,%s,%s,%s,%s,%s,%s,%s)", {0, 1, 2, 3, 4, 5, 6, 7}), entry("WinT", "T", {})});
  const std::string source = "a = WinS(h, M1, WinS(x,\n M2 ), WinT(y));\nWinS(only) WinS(\"(\", /*,*/ M3)\n";
  const std::vector<std::string> expected = {"0:1: M1", "0:1:\n M2 ", "0:3:", "0:3: /*,*/ M3"};
  ParameterLister lister(false);
  convert(table, source, &lister);
  EXPECT_EQ(lister.seen, expected);
  // A sink that keeps the calls finds the same, and the text stays as it was.
  ParameterLister keeper(true);
  EXPECT_EQ(convert(table, source, &keeper), source);
  EXPECT_EQ(keeper.seen, expected);
}

TEST(Conversions, TellALineStopped) {
  const auto table = make_table({entry("WinA", " WinA(%s)", {0})});
  std::string out;
  LineReader reader("a\nWinA(x)\n");
  Output sink(out);
  Recorder recorder;
  Conversion conversion(table);
  conversion.events = &recorder;
  conversion.fp_src = &reader;
  conversion.fp_dst = &sink;
  EXPECT_EQ(conversion.process_source(reader, &sink).status, ScanStatus::endless_rewrite);
  ASSERT_FALSE(recorder.seen.empty());
  EXPECT_EQ(recorder.seen.back(), (Recorder::Event{"stopped", -1, 2, 0}));
}

}  // namespace
}  // namespace zaptor
