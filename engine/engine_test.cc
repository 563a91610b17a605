#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/engine.h"

namespace zaptor {
namespace {

using namespace std::string_literals;

struct Entry {
  const char* name;  // nullptr: no name
  const char* format;  // nullptr: no format
  std::vector<std::int32_t> order;
  std::int32_t cb = -1;  // -1: the name's length
};

std::vector<_apitype> entries_of(const std::vector<Entry>& entries) {
  std::vector<_apitype> table;
  for (const Entry& in : entries) {
    _apitype entry;
    if (in.name != nullptr) entry.pchName = in.name;
    if (in.format != nullptr) entry.pchformat = in.format;
    entry.cb = in.cb >= 0 ? in.cb : static_cast<std::int32_t>(std::string_view(in.name).size());
    for (std::size_t k = 0; k < in.order.size(); ++k) entry.iOrder[k] = in.order[k];
    table.push_back(entry);
  }
  return table;
}

// The table the tests convert with, and the short cuts they use.
std::shared_ptr<const Table> g_table;
ShortCuts g_cuts;
constexpr ShortCuts kNoShortCuts{false, false, false};

// Makes `entries` the table of the conversions that follow, first letters
// in order, all short cuts on.
void load(const std::vector<Entry>& entries) {
  g_table = make_table(entries_of(entries));
  g_cuts = {};
}

struct Converted {
  std::string out;  // reports and converted lines, in order
  ScanStatus status;
  std::uint64_t line;
  std::uint64_t work, written;  // the conversion's counts
};

struct CloseFile {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// Converts `source` as the rewriter does: every buffer written after its
// scan. With `streamed`, the source is read through a stdio stream in the
// reader's buffers of 256 KB, not from memory.
Converted convert(std::string_view source, bool streamed = false) {
  Converted run;
  std::string err;
  std::string copy(source);
  std::unique_ptr<std::FILE, CloseFile> file;
  if (streamed) file.reset(::fmemopen(copy.data(), copy.size(), "rb"));
  LineReader memory_reader(source);
  LineReader file_reader(file.get());
  LineReader& reader = streamed ? file_reader : memory_reader;
  Output out(run.out);
  Output echo(err);
  Conversion conversion(g_table);
  conversion.short_cuts = g_cuts;
  conversion.fp_src = &reader;
  conversion.fp_dst = &out;
  conversion.fp_err = &echo;
  const SourceResult result = conversion.process_source(reader, &out);
  run.status = result.status;
  run.line = result.line;
  run.work = conversion.work;
  run.written = conversion.written;
  return run;
}

std::string rewrite(std::string_view source) { return convert(source).out; }

// What `source` gives without the engine's short cuts.
std::string rewrite_plainly(std::string_view source) {
  g_cuts = kNoShortCuts;
  std::string out = rewrite(source);
  g_cuts = {};
  return out;
}

// What tallyx's table prints for `source`.
std::string tally(std::string_view source) {
  load({{"WinSendMsg", "S %s\n", {1}}, {"WinPostMsg", "P %s\n", {1}}, {"WinSendDlgItemMsg", "D %s\n", {2}}});
  std::string printed;
  LineReader reader(source);
  Output out(printed);
  Conversion conversion(g_table);
  conversion.bEchoFormatted = true;
  conversion.fp_src = &reader;
  conversion.fp_dst = &out;
  conversion.process_source(reader, nullptr);
  return printed;
}

const std::vector<Entry> kSendMsg = {{"WinSendMsg", "S %s\n", {1}}};

TEST(Rewrite, BlankBeforeParenthesisIsDroppedAndParameterKeepsItsBlank) {
  load(kSendMsg);
  EXPECT_EQ(rewrite("WinSendMsg (hwnd, WM_X, 0, 0);\n"), "S  WM_X\n;\n");
  EXPECT_EQ(rewrite("WinSendMsg (hwnd, WM_X, 0, 0);"), "S  WM_X\n;");
}

TEST(Rewrite, NameEndingTheTextIsNoCallButNewlineInsideBufferIsSkipped) {
  load({{"WinA", "A<%s>", {1}}, {"WinB", "B<%s>", {0}}});
  EXPECT_EQ(rewrite("WinA(x, WinB\n(y));\n"), "A< B<y>>;\n");
  // WinB ends the line; its "(" stands on a line not read yet.
  EXPECT_EQ(rewrite("x = WinB\n(y);\n"), "x = WinB\n(y);\n");
}

TEST(Rewrite, WordsThatAreNotCalls) {
  load(kSendMsg);
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"&WinSendMsg;\n", "&WinSendMsg;\n"},
      {"WinSendMsg;\n", "WinSendMsg;\n"},
      {"WinSendMsgEx(a, b);\n", "WinSendMsgEx(a, b);\n"},
      {"My_WinSendMsg(a, b);\n", "My_S  b\n;\n"},
      {"xWinSendMsg(a, b);\n", "xWinSendMsg(a, b);\n"},
      {"2WinSendMsg(a, b);\n", "2WinSendMsg(a, b);\n"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(rewrite(in), out) << in;
}

TEST(Rewrite, TailOfAWordIsACandidateWhenItsFirstLetterIs) {
  load(kSendMsg);
  EXPECT_EQ(rewrite("WWinSendMsg(a, b)\n"), "WS  b\n\n");
  EXPECT_EQ(rewrite("WinWinSendMsg(a, b)\n"), "WinWinSendMsg(a, b)\n");
}

TEST(Rewrite, NameWithUnderscoreNeverMatches) {
  load({{"Win_Send", "X", {}}});
  EXPECT_EQ(rewrite("Win_Send(a)\n"), "Win_Send(a)\n");
}

TEST(Rewrite, LengthDecidesNotTheNameText) {
  // cb shorter than the name: matches words of that length.
  load({{"WinSendMsg", "<%s>", {0}, 3}});
  EXPECT_EQ(rewrite("Win(a) WinSendMsg(b)\n"), "<a> WinSendMsg(b)\n");
  // cb longer than the name: never matches.
  load({{"Win", "<%s>", {0}, 5}});
  EXPECT_EQ(rewrite("Win(a) WinXY(b)\n"), "Win(a) WinXY(b)\n");
}

TEST(Rewrite, FirstEntryInTableOrderWins) {
  load({{"WinA", "first", {}}, {"WinA", "second", {}}});
  EXPECT_EQ(rewrite("WinA()\n"), "first\n");
}

TEST(Rewrite, EntryWithoutNameNeverMatches) {
  load({{nullptr, "X", {}, 0}, {"WinA", "A", {}}});
  EXPECT_EQ(rewrite("WinA()\n"), "A\n");
}

TEST(Rewrite, CallOverTwoLines) {
  load({{"WinSendMsg", "[%s|%s|%s|%s]", {0, 1, 2, 3}}});
  EXPECT_EQ(rewrite("WinSendMsg(hwnd,\n    WM_X, 0, 0);\nnext\n"), "[hwnd|\n    WM_X| 0| 0];\nnext\n");
}

TEST(Rewrite, ParameterCounts) {
  load({{"f", "[%s|%s|%s|%s]", {0, 1, 2, 3}}});
  EXPECT_EQ(rewrite("f()\n"), "[|||]\n");
  EXPECT_EQ(rewrite("f(a,,b)\n"), "[a||b|]\n");
}

TEST(Rewrite, NestedParenthesesAndLiteralsDoNotSplit) {
  load({{"f", "[%s|%s]", {0, 1}}});
  EXPECT_EQ(rewrite("f(g(a, b), c)\n"), "[g(a, b)| c]\n");
  EXPECT_EQ(rewrite("f(\"a, (b\", ')')\n"), "[\"a, (b\"| ')']\n");
  EXPECT_EQ(rewrite("f(\"a\\\"b,c\", d)\n"), "[\"a\\\"b,c\"| d]\n");
  EXPECT_EQ(rewrite("f('\\'', d)\nnext(x, y)\n"), "['\\''| d]\nnext(x, y)\n");
  EXPECT_EQ(rewrite("f('\\\\', d)\n"), "['\\\\'| d]\n");
}

TEST(Rewrite, BackslashNewlineInsideALiteralContinuesIt) {
  load({{"f", "[%s|%s]", {0, 1}}});
  EXPECT_EQ(rewrite("f(\"a,\\\nb\", c)\n"), "[\"a,\\\nb\"| c]\n");
}

TEST(Rewrite, LiteralWithoutEndPullsInLinesUntilItsQuote) {
  load({{"f", "[%s|%s]", {0, 1}}});
  EXPECT_EQ(rewrite("f(\"a,\nb\", c)\n"), "[\"a,\nb\"| c]\n");
}

TEST(Rewrite, CommentsInsideACallHaveNoStructure) {
  load({{"f", "[%s|%s]", {0, 1}}});
  EXPECT_EQ(rewrite("f(a, // we'll (see),\n   b)\n"), "[a| // we'll (see),\n   b]\n");
  EXPECT_EQ(rewrite("f(a /* ) , ' */, b)\n"), "[a /* ) , ' */| b]\n");
  EXPECT_EQ(rewrite("f(a, // one \\\n two, (\n b)\n"), "[a| // one \\\n two, (\n b]\n");
  EXPECT_EQ(rewrite("f(a, /* spans\n lines, ) */ b)\n"), "[a| /* spans\n lines, ) */ b]\n");
  // A comment marker inside a literal is text.
  EXPECT_EQ(rewrite("f(\"//\", b)\n"), "[\"//\"| b]\n");
  EXPECT_EQ(rewrite("f(\"/*\", b)\n"), "[\"/*\"| b]\n");
  // "/*/" does not close the comment it opens.
  EXPECT_EQ(rewrite("f(a /*/ ) */, b)\n"), "[a /*/ ) */| b]\n");
}

TEST(Rewrite, CommentCharactersRaiseNoReport) {
  load({{"f", "[%s]", {0}}});
  EXPECT_EQ(rewrite("f(a /* ; { $ */)\n"), "[a /* ; { $ */]\n");
  EXPECT_EQ(rewrite("f(a // ; {\n)\n"), "[a // ; {\n]\n");
}

TEST(Rewrite, NamesInCommentsAndStringsOfTheSourceAreText) {
  load({{"WinA", "A", {}}});
  EXPECT_EQ(rewrite("/* WinA() */ \"WinA()\"\n"), "/* A */ \"A\"\n");
}

TEST(Rewrite, CallInsideAStringOpenedBeforeTheStringEnds) {
  load({{"WinA", "<%s>", {0}}});
  // Closed before the string ends: rewritten like any other call.
  EXPECT_EQ(rewrite("s = \"WinA(x)\";\n"), "s = \"<x>\";\n");
  // Not closed: the string's closing quote opens a literal for the capture,
  // which pulls in lines up to the next double quote.
  EXPECT_EQ(rewrite("s = \"WinA(x\";\nt = \"y);\n"), "s = \"<x\";\nt = \"y>;\n");
}

TEST(Rewrite, EntryWithoutFormatDeletesTheCall) {
  load({{"WinFoo", nullptr, {}}});
  EXPECT_EQ(rewrite("x = WinFoo(a, (b));\n"), "x = ;\n");
  EXPECT_EQ(rewrite("WinFoo(a)WinFoo(b);\n"), "WinFoo(b);\n");
  EXPECT_EQ(rewrite("x = WinFoo(a,\n b);\ny\n"), "x = ;\ny\n");
  EXPECT_EQ(rewrite("x WinFoo(a)"), "x ");
  // No split: no reports.
  EXPECT_EQ(rewrite("WinFoo(a;b)\n"), "\n");
}

TEST(Rewrite, NestedCallsAreRewrittenDuringTheRescan) {
  load({{"WinA", "%s", {0}}, {"WinB", "B<%s>", {0}}});
  EXPECT_EQ(rewrite("WinA(WinB(x));\n"), "WinB(x);\n");
  EXPECT_EQ(rewrite("WinA( WinB(x));\n"), " B<x>;\n");
}

TEST(Rewrite, CallInAnUnusedParameterDisappears) {
  load({{"WinA", "<%s>", {0}}, {"WinB", "B", {}}});
  EXPECT_EQ(rewrite("WinA(x, WinB(y));\n"), "<x>;\n");
}

TEST(Rewrite, EveryCallOfALongLine) {
  load({{"WinA", "<%s>", {0}}});
  std::string in, out;
  for (int i = 0; i < 20000; ++i) {
    const std::string n = std::to_string(i);
    in.append("WinA(").append(n).append(") ");
    out.append("<").append(n).append("> ");
  }
  EXPECT_EQ(rewrite(in + "\n"), out + "\n");
}

TEST(Rewrite, DeepNestingConvertsExactly) {
  load({{"WinA", "A<%s>", {0}}});
  std::string in, out;
  constexpr int kDepth = 10000;
  for (int i = 0; i < kDepth; ++i) in += "WinA(", out += "A<";
  in += "x", out += "x";
  for (int i = 0; i < kDepth; ++i) in += ")", out += ">";
  const Converted run = convert(in + ";\n");
  EXPECT_EQ(run.status, ScanStatus::ok);
  EXPECT_EQ(run.out, out + ";\n");
}

// Calls of WinA nested `depth` deep, each in the second parameter of the one
// outside it, each level long enough that the engine keeps notes on it; and
// what they become when each level is rewritten by `level` from its first
// parameter and what its second became.
struct Nest {
  std::string source, expected;
};
Nest nest(int depth, std::string_view core,
          const std::function<std::string(const std::string&, const std::string&)>& level) {
  Nest n{std::string(core), std::string(core)};
  for (int i = depth - 1; i >= 0; --i) {
    const std::string pad = "p" + std::to_string(i) + " /* " + std::string(300, 'x') + " , ( ' */";
    n.source = "WinA(" + pad + ", " + n.source + ")";
    n.expected = level(pad, " " + n.expected);
  }
  return n;
}

TEST(LongNesting, ParametersLeftInPlace) {
  load({{"WinA", "A(%s,%s)", {0, 1}}});
  const Nest n = nest(60, "core", [](const std::string& a, const std::string& b) { return "A(" + a + "," + b + ")"; });
  EXPECT_EQ(rewrite("x = " + n.source + ";\n"), "x = " + n.expected + ";\n");
  // Longer names than the calls had: the line grows as it is rewritten.
  load({{"WinA", "AVeryMuchLongerNameForTheCall(%s,%s)", {0, 1}}});
  const Nest longer = nest(200, "core", [](const std::string& a, const std::string& b) {
    return "AVeryMuchLongerNameForTheCall(" + a + "," + b + ")";
  });
  EXPECT_EQ(rewrite(longer.source + " tail\n"), longer.expected + " tail\n");
}

TEST(LongNesting, ParametersThatMoveOrChangePlaces) {
  load({{"WinA", "Moved(%s, 0)", {1}}});
  const Nest moved = nest(40, "core", [](const std::string&, const std::string& b) { return "Moved(" + b + ", 0)"; });
  EXPECT_EQ(rewrite(moved.source + "\n"), moved.expected + "\n");
  load({{"WinA", "R(%s,%s)", {1, 0}}});
  const Nest swapped = nest(40, "core", [](const std::string& a, const std::string& b) { return "R(" + b + "," + a + ")"; });
  EXPECT_EQ(rewrite(swapped.source + "\n"), swapped.expected + "\n");
  load({{"WinA", "D(%s%s)", {1, 1}}});
  const Nest twice = nest(6, "core", [](const std::string&, const std::string& b) { return "D(" + b + b + ")"; });
  EXPECT_EQ(rewrite(twice.source + "\n"), twice.expected + "\n");
}

TEST(LongNesting, EveryLevelReportsTheCharactersInside) {
  load({{"WinA", "A(%s,%s)", {0, 1}}});
  const Nest n = nest(30, "x;y $", [](const std::string& a, const std::string& b) { return "A(" + a + "," + b + ")"; });
  std::string reports;
  for (int i = 0; i < 30; ++i) reports += "Invalid character ;\nInvalid character ;\nInvalid character $\nInvalid character $\n";
  EXPECT_EQ(rewrite(n.source + "\n"), reports + n.expected + "\n");
}

// The first call takes the long stretches after the third name as code;
// the second, found inside the first one's literal, sees them inside its
// comment and writes "(" over the ")" that closed one of them. The third
// call must walk them again, and is left unfinished.
TEST(LongNesting, StretchesARewriteChangedAreWalkedAgain) {
  load({{"WinA", "<%s(", {0}}});
  const std::string y(245, 'y');
  EXPECT_EQ(rewrite("WinA('WinA(/*'WinA((\"')\"/*(" + y + ")*/)))\n"),
            "<'</*'WinA((\"')\"/*(" + y + ")*/()(\n");
}

TEST(LongNesting, TallyListsEveryLevelOfTheMessage) {
  std::string source = "M";
  std::string printed;
  for (int i = 0; i < 20; ++i) {
    source = "WinSendMsg(h /* " + std::string(300, 'x') + " */, " + source + ", 0)";
  }
  // Each call prints its message: the calls inside it, as written.
  std::string message = source;
  for (int i = 0; i < 20; ++i) {
    const std::size_t comma = message.find("*/, ") + 3;
    message = message.substr(comma, message.rfind(", 0)") - comma);
    printed += "S " + message + "\n";
  }
  EXPECT_EQ(tally(source + ";\n"), printed);
}

TEST(Rewrite, GrowingReplacementsKeepTheRestIntact) {
  load({{"f", "<<<<<<<<%s%s>>>>>>>>", {0, 0}}});
  EXPECT_EQ(rewrite("f(a) f(b) tail\n"), "<<<<<<<<aa>>>>>>>> <<<<<<<<bb>>>>>>>> tail\n");
}

TEST(Rewrite, BytesAreBytes) {
  load({{"f", "[%s|%s]", {0, 1}}});
  const std::string nul("a\0b", 3);
  EXPECT_EQ(rewrite(nul + " f(x, y) " + nul + "\n"), nul + " [x| y] " + nul + "\n");
  EXPECT_EQ(rewrite("f(\xE9t\xE9, \xFF)\n"), "[\xE9t\xE9| \xFF]\n");
  // A NUL inside a parameter list is reported like any invalid character.
  EXPECT_EQ(rewrite("f(a\0b)\n"s), "Invalid character \0\nInvalid character \0\n[a\0b|]\n"s);
}

TEST(Reports, RepeatRule) {
  load({{"f", "[%s]", {0}}});
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"f(a;b)\n", "Invalid character ;\nInvalid character ;\n[a;b]\n"},
      {"f(a,;)\n", "Invalid character ;\n[a]\n"},
      {"f(a;;)\n", "Invalid character ;\nInvalid character ;\nInvalid character ;\n[a;;]\n"},
      {"f(;)\n", "Invalid character ;\n[;]\n"},
      {"f(\"x\";)\n", "Invalid character ;\n[\"x\";]\n"},
      {"f((a)~)\n", "Invalid character ~\n[(a)~]\n"},
      {"f(a $)\n", "Invalid character $\nInvalid character $\n[a $]\n"},
      {"f(a\\b)\n", "Invalid character \\\nInvalid character \\\n[a\\b]\n"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(rewrite(in), out) << in;
}

TEST(Reports, ComeBeforeTheLineOfTheirCall) {
  load({{"f", "[%s]", {0}}});
  EXPECT_EQ(rewrite("one\nx f(a,\n{b)\n"), "one\nInvalid character {\nInvalid character {\nx [a]\n");
}

// A call the input never closes is no call: its text stays as written and
// the scan goes on after its name's first letter, so the calls inside it and
// after it are rewritten.
TEST(OpenCall, IsNoCallAndTheCallsAfterItAreRewritten) {
  load({{"WinA", "<%s>", {0}}, {"WinB", "B(%s)", {0}}});
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"x WinA(a, WinB(b)\n more\n", "x WinA(a, B(b)\n more\n"},
      {"WinA(x, WinB(y)", "WinA(x, B(y)"},
      {"WinA(\"never closed\n", "WinA(\"never closed\n"},
      {"WinA('\\\n", "WinA('\\\n"},
      {"WinA(a /* open\nWinB(1)\n", "WinA(a /* open\nB(1)\n"},
      {"WinA(a // open", "WinA(a // open"},
      {"WinA(a /", "WinA(a /"},
      {"WinA(", "WinA("},
      {"WinA(WinA(WinB(x)", "WinA(WinA(B(x)"},
  };
  for (const auto& [in, out] : cases) {
    const Converted run = convert("first WinA(1)\n" + in);
    EXPECT_EQ(run.out, "first <1>\n" + out) << in;
    EXPECT_EQ(run.status, ScanStatus::ok) << in;
  }
}

TEST(OpenCall, CodeCommentedOutLineByLineHidesNoLaterCall) {
  EXPECT_EQ(tally("// WinSendMsg(h, M,\n//   0, 0);\nWinPostMsg(h, N, 0, 0);\n"), "P  N\n");
  EXPECT_EQ(tally("WinSendMsg(h, A, 0);\nWinSendMsg(h, B, 'x\n"), "S  A\n");
}

// Open calls found one after the other, each running to the end of the
// input: the checkpoints of the first walks stop the later ones early, and
// the result is the same as without them.
TEST(OpenCall, ManyOpenCallsConvertAsWithoutShortCuts) {
  load({{"WinA", "<%s>", {0}}, {"WinB", "B(%s)", {0}}});
  const std::vector<std::string> shapes = {"WinA(\n", "// WinA(h, M,\n", "/* WinA(h,\n", "\"WinA( x\n",
                                           "WinA(x, WinB(y) ' WinA(\n"};
  for (const std::string& shape : shapes) {
    std::string in;
    for (int i = 0; i < 300; ++i) in += shape;
    in += "WinB(last)\n";
    const std::string fast = rewrite(in);
    EXPECT_EQ(rewrite_plainly(in), fast) << shape;
  }
}

TEST(Endless, FormatThatRecreatesItsCallIsStopped) {
  load({{"WinA", " WinA(%s)", {0}}});
  const Converted run = convert("line one\nWinA(x);\nline three\n");
  EXPECT_EQ(run.status, ScanStatus::endless_rewrite);
  EXPECT_EQ(run.line, 2u);
  EXPECT_EQ(run.out, "line one\n");
}

// However the name comes back: from the format, from a parameter, from
// both joined, cut out by a precision, or handed between two entries.
TEST(Endless, EveryWayANameComesBackIsStopped) {
  struct Case {
    std::vector<Entry> table;
    std::string source;
  };
  const std::vector<Case> cases = {
      {{{"WinA", " WinB(%s)", {0}}, {"WinB", " WinA(%s)", {0}}}, "WinA(x)\n"},
      {{{"X", " Y(X())", {}}, {"Y", " %s", {0}}}, "X()\n"},
      {{{"WinA", " WinA(%s%s)", {0, 0}}}, "WinA(x)\n"},
      {{{"WinA", "-%s(%s)", {0, 0}}}, "x = WinA(WinA);\n"},
      {{{"WinA", " %s(%s)", {0, 0}}}, "x = WinA(WinA);\n"},
      {{{"WinA", "-%sinA(%s)", {0, 0}}}, "x = WinA(W);\n"},
      {{{"WinA", "-%.5s%s)", {0, 0}}}, "x = WinA(WinA(x));\n"},
      {{{"WinA", "-%s(%s,%s)", {0, 1, 0}}, {"WinB", "-%s(%s,%s)", {0, 1, 0}}}, "x = WinA(WinB,WinA);\n"},
      {{{"WinA", "-%s%s(%s%s)", {0, 1, 0, 1}}}, "x = WinA(Wi,nA);\n"},
  };
  for (const Case& c : cases) {
    load(c.table);
    EXPECT_EQ(convert(c.source).status, ScanStatus::endless_rewrite) << c.source;
  }
}

TEST(Endless, ATableOfManyEntriesStopsItAsSoon) {
  std::vector<Entry> table = {{"WinA", "-%s(%s)", {0, 0}}};
  std::vector<std::string> names;
  for (int i = 0; i < 50000; ++i) names.push_back("Win" + std::to_string(i));
  for (const std::string& name : names) table.push_back({name.c_str(), "<%s>", {0}});
  load(table);
  EXPECT_EQ(convert("x = WinA(WinA);\n").status, ScanStatus::endless_rewrite);
}

TEST(Endless, ChainsThatEndAreNotStopped) {
  // A rename to another tabled call, a format that rebuilds its call from a
  // shrinking parameter, and one that swallows a ")" of the source each time.
  load({{"WinA", " WinB(%s, 0)", {0}}, {"WinB", "B<%s>", {0}}});
  EXPECT_EQ(rewrite("WinA(x);\n"), " B<x>;\n");
  load({{"X", " X%s", {0}}});
  EXPECT_EQ(rewrite("X((((y))));\n"), "    Xy;\n");
  load({{"WinA", "-WinA(%s", {0}}});
  EXPECT_EQ(convert("WinA(y) a) b) c) d)\nnext line\n").out, "-----WinA(y a b c d\nnext line\n");
  std::string in = "WinA(y)", out(2001, '-');
  for (int i = 0; i < 2000; ++i) in += " a)";
  out += "WinA(y";
  for (int i = 0; i < 2000; ++i) out += " a";
  EXPECT_EQ(rewrite(in + "\n"), out + "\n");
}

// A parameter used twice doubles at every level of nesting: ten levels
// convert, forty would ask for 2^40 bytes and are stopped.
TEST(Growth, OutputOutOfAllProportionIsStopped) {
  load({{"WinA", "(%s%s)", {0, 0}}});
  const auto nested = [](int depth) {
    std::string in;
    for (int i = 0; i < depth; ++i) in += "WinA(";
    in += "ab";
    for (int i = 0; i < depth; ++i) in += ")";
    return in;
  };
  std::string expected = "ab";
  for (int i = 0; i < 10; ++i) expected = "(" + expected + expected + ")";
  EXPECT_EQ(rewrite("x = " + nested(10) + ";\n"), "x = " + expected + ";\n");
  EXPECT_EQ(convert("x = " + nested(40) + ";\n").status, ScanStatus::endless_rewrite);
  // A width asks for blanks the same way.
  load({{"WinA", "%2000000000s", {0}}});
  EXPECT_EQ(convert("WinA(x)\n").status, ScanStatus::endless_rewrite);
}

// Parameters move, change places and are rebuilt around, over calls nested
// deep, with and without the engine's short cuts: the same bytes.
TEST(LongNesting, ShortCutsGiveThePlainBytes) {
  const std::vector<std::vector<Entry>> tables = {
      {{"WinA", "Foo(%s, %s)", {0, 1}}},
      {{"WinA", "Foo(%s, %s)", {1, 0}}},
      {{"WinA", "-WinA(%s", {0}}},
      {{"WinA", "<%.300s|%s>", {0, 1}}},
  };
  std::string nest;
  for (int i = 0; i < 400; ++i) nest += "WinA(x /* " + std::to_string(i) + "; */ ";
  nest += "core";
  for (int i = 0; i < 400; ++i) nest += ", 'y') a) b)";
  for (const auto& table : tables) {
    load(table);
    const std::string fast = rewrite(nest + "\n");
    EXPECT_EQ(rewrite_plainly(nest + "\n"), fast) << table[0].format;
  }
}

// Every tail of a long word of first letters is a candidate; a long name
// is found in it in one pass.
TEST(Rewrite, LongRunOfFirstLettersBeforeTheParenthesis) {
  const std::string name(70, 'W');
  load({{name.c_str(), "<%s>", {0}}});
  EXPECT_EQ(rewrite(std::string(5000, 'W') + "(x)\n"), std::string(4930, 'W') + "<x>\n");
  EXPECT_EQ(rewrite(std::string(69, 'W') + "(x)\n"), std::string(69, 'W') + "(x)\n");
}

// A line longer than the reader's buffer passes through while no call shows
// in it; the reports of a call at its end still come before it.
TEST(LongLine, PassesThroughAndReportsComeFirst) {
  load({{"WinA", "<%s>", {0}}});
  std::string prefix;
  while (prefix.size() < 3000000) prefix += "x = y + (z); Win ";
  std::string text = prefix + "WinA(a;b) tail\nnext\n";
  std::string expected = "Invalid character ;\nInvalid character ;\n" + prefix + "<a;b> tail\nnext\n";
  EXPECT_EQ(rewrite(text), expected);
  // Through a stream, whose buffer ends inside the line, and inside a name.
  for (const std::size_t cut : {std::size_t{0}, std::size_t{2}}) {
    const std::string head = prefix.substr(0, (1 << 18) - cut);
    EXPECT_EQ(convert(head + "WinA(q)" + prefix + "\n", true).out, head + "<q>" + prefix + "\n") << cut;
  }
}

// A word cut by the end of the reader's buffer is one word: its tail is no
// candidate of its own when its head is no first letter.
TEST(LongLine, AWordCutByTheReadersBufferStaysOneWord) {
  load({{"A", nullptr, {}}});
  // A line longer than the buffer whose last word ends past it.
  const std::string head(3 * (1 << 18), 'x');
  for (const std::string& tail : {std::string("WinA(WinA () /* "), std::string("WinA(q) A(q)\n")}) {
    const Converted run = convert(head + tail, true);
    EXPECT_EQ(run.line, 2u);
    EXPECT_EQ(run.out, tail.back() == '\n' ? head + "WinA(q) \n" : head + tail);
  }
}

// What the engine does stays in proportion to what it reads and writes, for
// every shape of input and table (counted, not timed).
TEST(Cost, InProportionToInputAndOutput) {
  struct Shape {
    const char* what;
    std::vector<Entry> table;
    std::string source;
  };
  const auto times = [](std::string_view text, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += text;
    return out;
  };
  constexpr int n = 3000;
  const std::string nest = times("WinA(", n) + "x" + times(", y)", n);
  const std::string name(70, 'W');
  const std::vector<Shape> shapes = {
      {"moved", {{"WinA", "Foo(%s, %s)", {0, 1}}}, nest + "\n"},
      {"swapped", {{"WinA", "Foo(%s, %s)", {1, 0}}}, nest + "\n"},
      {"dropped", {{"WinA", "Foo(%s)", {1}}}, nest + "\n"},
      {"one shorter", {{"WinA", "-WinA(%s", {0}}}, "WinA(y)" + times(" a)", n) + "\n"},
      {"letters", {{name.c_str(), "<%s>", {0}}}, times("W", 20 * n) + "(x)\n"},
      {"parentheses", {{"WinA", "<%s>", {0}}}, "WinA(" + times("(", 20 * n) + times(")", 20 * n) + ")\n"},
      {"open lines", {{"WinA", "<%s>", {0}}}, times("WinA(\n", n)},
      {"commented", {{"WinA", "<%s>", {0}}}, times("// WinA(h, M,\n", n)},
      {"block comment", {{"WinA", "<%s>", {0}}}, times("/* WinA(h,\n", n)},
      {"open in strings", {{"WinA", "<%s>", {0}}}, times("\"WinA( x ", n) + "\n"},
      {"endless over a long parameter", {{"WinA", "-WinA(%s)", {0}}}, "WinA(" + times("y + z ", n) + ")\n"},
      {"endless cut", {{"WinA", "-WinA(%.9999s)", {0}}}, "WinA(" + times("y + z ", n) + ")\n"},
      {"endless in a literal", {{"WinA", "-WinA('%s')", {0}}}, "WinA(" + times("y + z ", n) + ")\n"},
      {"endless in a comment", {{"WinA", "-WinA(/*%s*/)", {0}}}, "WinA(" + times("y + z ", n) + ")\n"},
      {"endless, literals nested", {{"WinA", "-WinA(\"'%s'\")", {0}}}, "WinA(" + times("y + z ", n) + ")\n"},
      {"doubling", {{"WinA", "(%s%s)", {0, 0}}}, times("WinA(", 30) + "ab" + times(")", 30) + "\n"},
  };
  for (const Shape& shape : shapes) {
    load(shape.table);
    const Converted run = convert(shape.source);
    const double bound = 64.0 * static_cast<double>(shape.source.size() + run.out.size() + run.written) + 65536;
    EXPECT_LE(static_cast<double>(run.work), bound) << shape.what;
  }
}

TEST(Tally, Examples) {
  EXPECT_EQ(tally("WinSendMsg(hwnd, WM_CLOSE, 0L, 0L);\n"), "S  WM_CLOSE\n");
  EXPECT_EQ(tally("WinPostMsg(hwnd,WM_QUIT,0,0)\n"), "P WM_QUIT\n");
  EXPECT_EQ(tally("WinSendDlgItemMsg(hwnd, ID_LIST, LM_INSERTITEM, MPFROMSHORT(0), MPFROMP(psz))\n"),
            "D  LM_INSERTITEM\n");
  EXPECT_EQ(tally("WinSendMsg(hwnd,\n    WM_X, 0, 0);\n"), "S \n    WM_X\n");
  EXPECT_EQ(tally("WinSendMsg(a, X, 0); WinPostMsg(b, Y, 0);\n"), "S  X\nP  Y\n");
  EXPECT_EQ(tally("WinSendMsg(h, WinPostMsg(h2, INNER, 0, 0), 0);\n"),
            "S  WinPostMsg(h2, INNER, 0, 0)\nP  INNER\n");
  EXPECT_EQ(tally("WinSendMsg(h, OUTER, WinPostMsg(h2, INNER, 0, 0), 0);\n"), "S  OUTER\n");
  EXPECT_EQ(tally("WinSendMsg(hwnd);\nWinSendMsg();\n"), "S \nS \n");
  EXPECT_EQ(tally("WinSendMsgEx(a, b);\nWinSendMsg\n"), "");
}

}  // namespace
}  // namespace zaptor
