// End-to-end tests of zaptor: each case writes a compiled macro file
// (zaptor.bin) and a source into a fresh temporary directory, runs the built
// program there and compares the exact bytes of the destination, of the
// standard output and standard error, and the exit status.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <climits>
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "tests/run_program.h"
#include "zaptor/zaptor_main.h"

using namespace std::string_literals;
using zaptor_testing::MacroEntry;
using zaptor_testing::RunOptions;
using zaptor_testing::RunResult;
using zaptor_testing::TempDir;
using zaptor_testing::encode_macro_file;
using zaptor_testing::encode_record;
using zaptor_testing::escaped;
using zaptor_testing::file_exists;
using zaptor_testing::le32;
using zaptor_testing::macro;
using zaptor_testing::macro_cb;
using zaptor_testing::make_dir;
using zaptor_testing::program;
using zaptor_testing::read_file;
using zaptor_testing::same_bytes;
using zaptor_testing::write_file;
using zaptor_testing::write_macro_file;

namespace {

const std::string kUsage =
    "Useage: zaptor [-v -d ] file_name [ file_result ] \n"
    "        -d -- dump data file. \n"
    "        -v -- Verbose, echo input to screen. \n";
const std::string kNoMacroFile = "Failed to open DataFile zaptor.bin\n";

std::string console(std::string_view src, std::string_view dst) {
  return "src: (" + std::string(src) + ") dst (" + std::string(dst) + ")\n";
}

std::string repeat(std::string_view s, std::size_t n) {
  std::string r;
  r.reserve(s.size() * n);
  for (std::size_t i = 0; i < n; ++i) r += s;
  return r;
}

// ------------------------------------------------------------------ tables

// WinA: "A<%s>" of parameter 1; WinB: "B<%s>" of parameter 0; WinFoo: no format, deletes.
std::vector<MacroEntry> tableAB() {
  return {macro("WinA", "A<%s>", {1}), macro("WinB", "B<%s>", {0}), macro("WinFoo", "", {})};
}
// WinA shows its first four parameters.
std::vector<MacroEntry> tableAll4() { return {macro("WinA", "[%s|%s|%s|%s]", {0, 1, 2, 3})}; }
// WinSendMsg as the statistics tool prints it.
std::vector<MacroEntry> tableSendMsg() { return {macro("WinSendMsg", "S %s\n", {1})}; }
// WinA with the given format, every slot taking parameter 0.
std::vector<MacroEntry> format0(std::string format) {
  return {macro("WinA", std::move(format), {0, 0, 0, 0, 0, 0, 0, 0})};
}
// WinA wraps its first parameter in brackets.
std::vector<MacroEntry> tableBrackets() { return {macro("WinA", "[%s]", {0})}; }

// The dump of one entry as "zaptor -d" writes it: the texts before the first
// NUL of their fields (all 256 bytes when there is none).
std::string field_text(const std::string& field) {
  const std::size_t nul = field.find('\0');
  return nul == std::string::npos ? field.substr(0, 256) : field.substr(0, nul);
}
std::string dump_of(const MacroEntry& e) {
  std::string s = "Api Macro " + field_text(e.name) + " \n";
  s += "Macro Format:" + field_text(e.format) + "\n";
  s += "Parms:";
  for (int32_t v : e.order) s += " " + std::to_string(v);
  return s + "\n";
}

// ------------------------------------------------------------------ fixture

class Zaptor : public ::testing::Test {
 protected:
  TempDir dir;

  std::string path(std::string_view relative) const { return dir.file(relative); }
  std::string contents(std::string_view relative) const { return read_file(path(relative)); }
  bool exists(std::string_view relative) const { return file_exists(path(relative)); }
  void table(const std::vector<MacroEntry>& entries, std::string_view where = "zaptor.bin") {
    write_macro_file(path(where), entries);
  }
  void table_bytes(std::string_view bytes) { write_file(path("zaptor.bin"), bytes); }
  void source(std::string_view name, std::string_view bytes) { write_file(path(name), bytes); }

  // Runs zaptor with these operands in the directory cwd (relative to the temporary directory).
  // Runs zaptor in the test's directory (or `cwd` in it): in this process,
  // unless the output is to be streamed to `options.on_out`.
  RunResult zaptor(std::vector<std::string> args, std::string_view cwd = "", const RunOptions& options = {}) {
    args.insert(args.begin(), program("zaptor"));
    const std::string where = cwd.empty() ? dir.path() : path(cwd);
    if (!options.on_out) return zaptor_testing::run_in_process(zaptor::zaptor_main, std::move(args), where);
    return zaptor_testing::run(std::move(args), where, {}, options);
  }

  // "zaptor prog.c" with this table and source: a successful conversion
  // whose prog.win must hold exactly `expected`.
  void expect_conversion(const std::vector<MacroEntry>& entries, std::string_view src, std::string_view expected) {
    table(entries);
    source("prog.c", src);
    const RunResult r = zaptor({"prog.c"});
    EXPECT_EQ(r.out, console("prog.c", "prog.win"));
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.exit_code, 0);
    ASSERT_TRUE(exists("prog.win"));
    EXPECT_TRUE(same_bytes(expected, contents("prog.win"))) << "source: \"" << escaped(src) << "\"";
  }

  // "zaptor -d": a dump that succeeds.
  void expect_dump(std::string_view expected) {
    const RunResult r = zaptor({"-d"});
    EXPECT_TRUE(same_bytes(expected, r.out));
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.exit_code, 0);
  }
};

// ------------------------------------------------------------------ table-driven conversions

struct Conversion {
  const char* name;
  std::vector<MacroEntry> table;
  std::string source;
  std::string expected;  // the exact bytes of the destination
};

std::string conversion_name(const ::testing::TestParamInfo<Conversion>& info) { return info.param.name; }
void PrintTo(const Conversion& c, std::ostream* os) { *os << c.name; }

class ZaptorConversion : public Zaptor, public ::testing::WithParamInterface<Conversion> {};

TEST_P(ZaptorConversion, WritesExactly) {
  expect_conversion(GetParam().table, GetParam().source, GetParam().expected);
}

// Finding and rewriting calls.
INSTANTIATE_TEST_SUITE_P(Calls, ZaptorConversion, ::testing::Values(
    Conversion{"BlankBeforeParenthesisGoneBlankAfterCommaKept", tableSendMsg(),
               "WinSendMsg (hwnd, WM_X, 0, 0);\n", "S  WM_X\n;\n"},
    Conversion{"LastLineWithoutNewline", tableSendMsg(),
               "WinSendMsg (hwnd, WM_X, 0, 0);", "S  WM_X\n;"},
    Conversion{"RestOfTheLineIsKept", tableAB(),
               "  x = WinA(h, y) + WinB(z) * 2; /* end */\n", "  x = A< y> + B<z> * 2; /* end */\n"},
    Conversion{"ParenthesisOnALineNotYetRead", tableAB(), "WinA\n(x, y);\n", "WinA\n(x, y);\n"},
    Conversion{"NewlineBeforeParenthesisInAPulledInLine", tableAB(),
               "WinA(x, WinB\n(y));\n", "A< B<y>>;\n"},
    Conversion{"NameWithoutParenthesis", tableAB(),
               "p = &WinA;\nWinA;\nq = WinA + (1);\nWinA\n", "p = &WinA;\nWinA;\nq = WinA + (1);\nWinA\n"},
    Conversion{"LongerName", tableAB(), "WinAEx(x, y);\n", "WinAEx(x, y);\n"},
    Conversion{"UnderscoreEndsAWord", tableAB(), "My_WinA(x, y);\n", "My_A< y>;\n"},
    Conversion{"PrefixThatIsNoFirstLetter", tableAB(), "xWinA(x, y);\n", "xWinA(x, y);\n"},
    Conversion{"PrefixThatIsAFirstLetter", tableAB(), "WWinA(x, y);\n", "WA< y>;\n"},
    Conversion{"PrefixWinIsSkippedWhole", tableAB(), "WinWinA(x, y);\n", "WinWinA(x, y);\n"},
    Conversion{"UnderscoreInATabledNameNeverMatches", {macro("Win_A", "U<%s>", {0})},
               "Win_A(x);\n", "Win_A(x);\n"},
    Conversion{"NamesInCommentsAreFound", tableAB(),
               "/* WinA(h, y) */\n// WinB(z)\n", "/* A< y> */\n// B<z>\n"},
    Conversion{"NameInAStringIsFound", tableAB(), "s = \"WinB(q)\";\n", "s = \"B<q>\";\n"},
    Conversion{"CallInAStringOpenAtItsClosingQuote", tableAB(),
               "s = \"WinB(\";\nt = \"q)\";\n", "s = \"B<\";\nt = \"q>\";\n"},
    Conversion{"CallSpreadOverLines", tableAll4(),
               "WinA(hwnd,\n    WM_X, 0, 0);\n", "[hwnd|\n    WM_X| 0| 0];\n"},
    Conversion{"EmptyParameterListHasOneEmptyParameter", tableAll4(), "WinA();\n", "[|||];\n"},
    Conversion{"EmptyMiddleParameter", tableAll4(), "WinA(a,,b);\n", "[a||b|];\n"},
    Conversion{"DelimitersInLiterals", tableAll4(),
               "WinA(\"a,b\", ')', \"(\", ',');\n", "[\"a,b\"| ')'| \"(\"| ','];\n"},
    Conversion{"ParametersTakenAsWritten", tableAll4(),
               "WinA( a , /* c */ b ,\"s\" ,\n\tc );\n", "[ a | /* c */ b |\"s\" |\n\tc ];\n"},
    Conversion{"CallWithoutFormatIsDeleted", tableAB(), "x = WinFoo(a, (b));\n", "x = ;\n"},
    Conversion{"DeletedCallSpanningLines", tableAB(),
               "x = WinFoo(a,\n b,\n c) + 1;\nnext\n", "x =  + 1;\nnext\n"},
    Conversion{"DeletedCallRaisesNoReport", tableAB(), "WinFoo(a;b$);\n", ";\n"},
    Conversion{"NestedCallRewrittenAfterTheOuter", tableAB(), "WinA(h, WinB(x));\n", "A< B<x>>;\n"},
    Conversion{"ReplacementBeginningWithACallLeavesIt",
               {macro("WinA", "%s", {0}), macro("WinB", "B<%s>", {0})}, "WinA(WinB(x));\n", "WinB(x);\n"},
    Conversion{"ReplacementCarryingACall",
               {macro("WinA", "[%s]", {0}), macro("WinB", "B<%s>", {0})}, "WinA(WinB(x));\n", "[B<x>];\n"},
    Conversion{"NestedCallInAnUnusedParameterDisappears", tableAB(), "WinA(WinB(x), y);\n", "A< y>;\n"},
    Conversion{"CallRightAfterADeletedCallIsLeft", tableAB(), "WinFoo(a)WinFoo(b);\n", "WinFoo(b);\n"},
    Conversion{"OtherCallRightAfterADeletedCallIsLeft", tableAB(),
               "WinFoo(a)WinA(x, y);\n", "WinA(x, y);\n"},
    Conversion{"CallAfterADeletedCallAndABlank", tableAB(), "WinFoo(a) WinA(x, y);\n", " A< y>;\n"},
    Conversion{"DeletedCallIsTheWholeText", tableAB(), "WinFoo(a)", ""},
    Conversion{"DeletedCallEndsTheText", tableAB(), "abc WinFoo(a)", "abc "},
    Conversion{"EmptyReplacementEndsTheText", {macro("WinA", "%s", {0})}, "WinA()", ""},
    Conversion{"FirstMatchingEntryWins",
               {macro("WinA", "first<%s>", {0}), macro("WinA", "second<%s>", {0})}, "WinA(x);\n", "first<x>;\n"},
    Conversion{"EntryOfAnotherLengthIsSkipped",
               {macro_cb("WinA", 3, "short<%s>", {0}), macro("WinA", "<%s>", {0})}, "WinA(x);\n", "<x>;\n"},
    Conversion{"DeclaredParameterCountIsNotChecked",
               {macro("WinA", "%s|%s|%s", {0, 1, 2}, 1)}, "WinA(a,b,c,d,e);\n", "a|b|c;\n"},
    Conversion{"CarriageReturns", tableAB(), "WinA(a,\r\nb);\r\n", "A<\r\nb>;\r\n"},
    Conversion{"EmptySource", tableAB(), "", ""}),
    conversion_name);

// Escapes inside literals: a backslash takes the next character into the literal.
INSTANTIATE_TEST_SUITE_P(Escapes, ZaptorConversion, ::testing::Values(
    Conversion{"EscapedQuoteCharacter", tableAB(),
               "x = WinA(h, '\\'', z);\ny = WinA(h, q);\n", "x = A< '\\''>;\ny = A< q>;\n"},
    Conversion{"EscapedQuoteInAString", tableAB(),
               "WinA(h, \"a\\\"b,c\", z);\n", "A< \"a\\\"b,c\">;\n"},
    Conversion{"DoubleBackslashEndsAString", tableAB(),
               "WinA(h, \"a\\\\\", \"b\");\n", "A< \"a\\\\\">;\n"},
    Conversion{"BackslashCharacter", tableAB(),
               "WinA(h, '\\\\');\nWinB(n);\n", "A< '\\\\'>;\nB<n>;\n"},
    Conversion{"BackslashNewlineInsideAString", tableAB(),
               "WinA(h, \"ab\\\ncd\");\nWinB(n);\n", "A< \"ab\\\ncd\">;\nB<n>;\n"},
    Conversion{"EscapedQuoteInADeletedCallKeepsTheNextLines", tableAB(),
               "WinFoo('\\'');\nkeep(1);\nWinB(n);\n", ";\nkeep(1);\nB<n>;\n"}),
    conversion_name);

// Bytes: NUL is an ordinary character; 0x80-0xFF are neither alphanumeric nor white space.
INSTANTIATE_TEST_SUITE_P(Bytes, ZaptorConversion, ::testing::Values(
    Conversion{"NulsOutsideCallsAreCopied", tableAB(), "a\0b\nc\0\n\0"s, "a\0b\nc\0\n\0"s},
    Conversion{"NulInAParameterIsReported", tableAB(), "WinA(h,\0x);\n"s, "Invalid character \0\nA<\0x>;\n"s},
    Conversion{"NulBeforeACall", tableAB(), "\0WinA(h, y)\n"s, "\0A< y>\n"s},
    Conversion{"NulBetweenCalls", tableAB(), "WinB(q);\0WinB(r);\n"s, "B<q>;\0B<r>;\n"s},
    Conversion{"HighBytesInAParameterRaiseNoReport", tableAB(),
               "WinA(h, caf\xE9 \xFF\x80);\n", "A< caf\xE9 \xFF\x80>;\n"},
    Conversion{"HighByteEndsAWord", tableAB(), "\xE9WinA(h, y);\n", "\xE9" "A< y>;\n"},
    Conversion{"HighByteAfterANameIsNoWhiteSpace", tableAB(),
               "WinA\xE9(h, y);\nWinA\xA0(h, y);\nWinA\x85(h, y);\n",
               "WinA\xE9(h, y);\nWinA\xA0(h, y);\nWinA\x85(h, y);\n"},
    Conversion{"HighBytesCopied", tableAB(), "\x80\x81\xFE\xFF\n", "\x80\x81\xFE\xFF\n"}),
    conversion_name);

// Comments inside a call.
INSTANTIATE_TEST_SUITE_P(Comments, ZaptorConversion, ::testing::Values(
    Conversion{"LineCommentWithApostropheAfterAnArgument", tableAB(),
               "WinA(h, y, // we'll\n  z);\nnext;\n", "A< y>;\nnext;\n"},
    Conversion{"BlockCommentWithDelimiters", tableAB(),
               "WinA(h, y /* ) , ' */, z);\n", "A< y /* ) , ' */>;\n"},
    Conversion{"NoReportsInAComment", tableAB(), "WinA(h, y /* ; $ */ );\n", "A< y /* ; $ */ >;\n"},
    Conversion{"LineCommentContinuedByABackslash", tableAB(),
               "WinA(h, // ) ' \\\n still comment )\n y);\n", "A< // ) ' \\\n still comment )\n y>;\n"},
    Conversion{"NameInACommentInsideACallIsFound", tableAB(),
               "WinA(h, y /* WinB(q) */);\n", "A< y /* B<q> */>;\n"},
    Conversion{"CommentInAnUnusedParameter", tableAB(), "WinA(/* ) */ h, y);\n", "A< y>;\n"},
    Conversion{"CommentMarkInAString", tableAB(), "WinA(h, \"/*\");WinB(z);\n", "A< \"/*\">;B<z>;\n"},
    Conversion{"SlashIsAnOperator", tableAB(), "WinA(h, a / b);\n", "A< a / b>;\n"}),
    conversion_name);

// The source ends while a call is still open: the call's text is written unchanged.
INSTANTIATE_TEST_SUITE_P(SourceEndsInsideACall, ZaptorConversion, ::testing::Values(
    Conversion{"ParenthesesNotClosed", tableAB(), "a\nWinA(x, y\nz\n", "a\nWinA(x, y\nz\n"},
    Conversion{"InsideAString", tableAB(), "WinA(x, \"abc\nmore\n", "WinA(x, \"abc\nmore\n"},
    Conversion{"InsideACharacterLiteral", tableAB(), "b;\nWinA(h, '\n", "b;\nWinA(h, '\n"},
    Conversion{"InsideABlockComment", tableAB(), "WinA(x, /* abc\nmore\n", "WinA(x, /* abc\nmore\n"},
    Conversion{"InsideALineComment", tableAB(), "WinA(x, // abc", "WinA(x, // abc"},
    Conversion{"WithoutNewline", tableAB(), "WinA(x", "WinA(x"},
    Conversion{"DeletingCallNotClosed", tableAB(), "x = WinFoo(a,\nb\n", "x = WinFoo(a,\nb\n"},
    Conversion{"AfterACompleteCall", tableAB(), "WinB(q) WinA(x, y\nz\n", "B<q> WinA(x, y\nz\n"},
    Conversion{"HoldingACompleteCall", tableAB(), "WinA(x, WinB(q)\nz\n", "WinA(x, B<q>\nz\n"}),
    conversion_name);

// "Invalid character %c\n" reports go into the destination, ahead of the line in which they arose.
INSTANTIATE_TEST_SUITE_P(InvalidCharacters, ZaptorConversion, ::testing::Values(
    Conversion{"ReportsAheadOfTheirLine", tableAB(),
               "first\nx = WinA(h, a;b);\nlast\n",
               "first\nInvalid character ;\nInvalid character ;\nx = A< a;b>;\nlast\n"},
    Conversion{"ReportsAheadOfAMultiLineCall", tableAB(),
               "first\nWinA(h,\n a$);\nlast\n",
               "first\nInvalid character $\nInvalid character $\nA<\n a$>;\nlast\n"},
    Conversion{"RepeatRule", tableAll4(),
               // "a;b" twice, ";" after a comma once, " a;;" three times
               "WinA(a;b, a,;, a;;);\n",
               "Invalid character ;\nInvalid character ;\nInvalid character ;\n"
               "Invalid character ;\nInvalid character ;\nInvalid character ;\n"
               "[a;b| a|;| a;;];\n"}),
    conversion_name);

// Formats: "%s" with flags, width and precision, "%%"; everything else is defined too.
INSTANTIATE_TEST_SUITE_P(Formats, ZaptorConversion, ::testing::Values(
    Conversion{"Plain", format0("[%s]"), "WinA(abcdef);\n", "[abcdef];\n"},
    Conversion{"Width", format0("[%8s]"), "WinA(abcdef);\n", "[  abcdef];\n"},
    Conversion{"NarrowWidth", format0("[%2s]"), "WinA(abcdef);\n", "[abcdef];\n"},
    Conversion{"WideWidth", format0("[%12s]"), "WinA(abcdef);\n", "[      abcdef];\n"},
    Conversion{"LeftAdjusted", format0("[%-8s]"), "WinA(abcdef);\n", "[abcdef  ];\n"},
    Conversion{"Precision", format0("[%.3s]"), "WinA(abcdef);\n", "[abc];\n"},
    Conversion{"WidthAndPrecision", format0("[%5.2s]"), "WinA(abcdef);\n", "[   ab];\n"},
    Conversion{"LeftWidthAndPrecision", format0("[%-5.2s]"), "WinA(abcdef);\n", "[ab   ];\n"},
    Conversion{"ZeroPrecision", format0("[%.0s]"), "WinA(abcdef);\n", "[];\n"},
    Conversion{"PercentSign", format0("100%%"), "WinA(abcdef);\n", "100%;\n"},
    Conversion{"PercentSignThenS", format0("%%s"), "WinA(abcdef);\n", "%s;\n"},
    Conversion{"TwoConversions", format0("%s%s"), "WinA(abcdef);\n", "abcdefabcdef;\n"},
    Conversion{"NewlinesInTheFormat", format0("a\n%s\nb"), "WinA(abcdef);\n", "a\nabcdef\nb;\n"},
    Conversion{"DecimalCopied", format0("[%d]"), "WinA(abcdef);\n", "[%d];\n"},
    Conversion{"StoreCountCopied", format0("[%n]"), "WinA(abcdef);\n", "[%n];\n"},
    Conversion{"StarWidthCopied", format0("[%*s]"), "WinA(abcdef);\n", "[%*s];\n"},
    Conversion{"PositionalCopied", format0("[%1$s]"), "WinA(abcdef);\n", "[%1$s];\n"},
    Conversion{"OtherConversionsCopied", format0("[%x|%c|%p|%-5d]"), "WinA(abcdef);\n",
               "[%x|%c|%p|%-5d];\n"},
    Conversion{"CopiedBesideAString", format0("<%d:%s>"), "WinA(abcdef);\n", "<%d:abcdef>;\n"},
    Conversion{"LonePercentAtTheEnd", format0("[%s%"), "WinA(abcdef);\n", "[abcdef%;\n"},
    Conversion{"OnlyAPercent", format0("%"), "WinA(abcdef);\n", "%;\n"},
    Conversion{"NullSlotGivesEmptyText", {macro("WinA", "<%s>", {})}, "WinA(abcdef);\n", "<>;\n"},
    Conversion{"NullSlotThenParameter", {macro("WinA", "<%s|%s>", {-1, 0})}, "WinA(abcdef);\n", "<|abcdef>;\n"},
    Conversion{"NinthConversionGivesEmptyText",
               {macro("WinA", "%s%s%s%s%s%s%s%s%s|", {0, 1, 2, 3, 4, 5, 6, 7})},
               "WinA(a,b,c,d,e,f,g,h,i);\n", "abcdefgh|;\n"},
    Conversion{"SlotBeyondTheLastParameter", {macro("WinA", "<%s>", {3})}, "WinA(a);\n", "<>;\n"},
    Conversion{"EighthParameter", {macro("WinA", "<%s>", {7})},
               "WinA(p0,p1,p2,p3,p4,p5,p6,p7,p8,p9);\n", "<p7>;\n"},
    Conversion{"ParametersReordered", {macro("WinA", "%s%s%s%s%s%s%s%s", {7, 6, 5, 4, 3, 2, 1, 0})},
               "WinA(0,1,2,3,4,5,6,7,8,9,10,11);\n", "76543210;\n"},
    Conversion{"OrderOutsideTheRangeActsAsNull",
               {macro("WinA", "<%s|%s|%s|%s|%s|%s>", {8, -2, 100, INT32_MIN, INT32_MAX, 0})},
               "WinA(a,b,c,d,e,f,g,h,i,j);\n", "<|||||a>;\n"}),
    conversion_name);

std::vector<MacroEntry> hundred_fifty() {
  std::vector<MacroEntry> t;
  for (int i = 0; i < 150; ++i) t.push_back(macro("Fn" + std::to_string(i), std::to_string(i) + ":%s", {0}));
  return t;
}
std::vector<MacroEntry> every_first_letter() {
  std::vector<MacroEntry> t;
  for (char c : std::string("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_"))
    t.push_back(macro(std::string(1, c) + "q", std::string(1, c) + ":%s", {0}));
  return t;
}
const std::string kName256 = "W" + std::string(255, 'n');
const std::string kFormat256 = "<%s>" + std::string(252, '.');

// The values stored in the records, as the loader must take them.
INSTANTIATE_TEST_SUITE_P(Records, ZaptorConversion, ::testing::Values(
    Conversion{"ShorterLengthMatchesThePrefix", {macro_cb("WinSendMsg", 7, "<%s>", {0})},
               "WinSend(a);\nWinSendMsg(b);\nWinSen(c);\n", "<a>;\nWinSendMsg(b);\nWinSen(c);\n"},
    Conversion{"LongerLengthNeverMatches", {macro_cb("WinA", 5, "<%s>", {0})},
               "WinA(a);\nWinAB(b);\nWinAb(c);\n", "WinA(a);\nWinAB(b);\nWinAb(c);\n"},
    Conversion{"ZeroLengthNeverMatches", {macro_cb("WinA", 0, "<%s>", {0})}, "WinA(a);\n", "WinA(a);\n"},
    Conversion{"NegativeLengthNeverMatches",
               {macro_cb("WinA", -4, "<%s>", {0}), macro_cb("WinA", INT32_MIN, "<%s>", {0})},
               "WinA(a);\n", "WinA(a);\n"},
    Conversion{"BytesAfterTheNameTerminatorAreIgnored",
               {macro_cb("WinA\0WinB junk"s, 4, "<%s>\0junk"s, {0})}, "WinA(x);\nWinB(y);\n", "<x>;\nWinB(y);\n"},
    Conversion{"NameFillingItsField", {macro_cb(kName256, 256, "<%s>", {0})},
               kName256 + "(q);\n", "<q>;\n"},
    Conversion{"FormatFillingItsField", {macro("WinA", kFormat256, {0})},
               "WinA(q);\n", "<q>" + std::string(252, '.') + ";\n"},
    Conversion{"EntryWithoutNameNeverMatches",
               {macro("", "bad<%s>", {0}), macro_cb("", 4, "bad<%s>", {0}), macro("WinA", "A<%s>", {0})},
               "WinA(x);\n", "A<x>;\n"},
    Conversion{"MoreThanHundredRecords", hundred_fifty(),
               "Fn149(z) Fn0(y) Fn100(x);\n", "149:z 0:y 100:x;\n"},
    Conversion{"MoreThanFiftyTwoFirstLetters", every_first_letter(),
               "Aq(1) zq(2) 9q(3) 0q(4) _q(5);\n", "A:1 z:2 9:3 0:4 _q(5);\n"}),
    conversion_name);

TEST_F(Zaptor, TenThousandRecords) {
  std::vector<MacroEntry> t;
  for (int i = 0; i < 10000; ++i) t.push_back(macro("Fn" + std::to_string(i), std::to_string(i) + ":%s", {0}));
  expect_conversion(t, "Fn9999(z) Fn5000(y) Fn0(x);\n", "9999:z 5000:y 0:x;\n");
}

// ------------------------------------------------------------------ the compiled macro file and its dump

TEST_F(Zaptor, EncoderWritesTheDocumentedLayout) {
  // The statistics tool's three entries make a file of 4 + 3 * 552 bytes.
  const std::string file = encode_macro_file({macro("WinSendMsg", "S %s\n", {1}), macro("WinPostMsg", "P %s\n", {1}),
                                              macro("WinSendDlgItemMsg", "D %s\n", {2}, 5)});
  ASSERT_EQ(file.size(), 1660u);
  EXPECT_EQ(file.substr(0, 4), "\x03\0\0\0"s);
  EXPECT_EQ(file.substr(4, 11), "WinSendMsg\0"s);
  EXPECT_EQ(file.substr(4 + 512, 4), "\x0A\0\0\0"s);
  EXPECT_EQ(file.substr(4 + 520, 8), "\x01\0\0\0\xFF\xFF\xFF\xFF"s);
}

TEST_F(Zaptor, DumpOfTheStatisticsTable) {
  table({macro("WinSendMsg", "S %s\n", {1}), macro("WinPostMsg", "P %s\n", {1}),
         macro("WinSendDlgItemMsg", "D %s\n", {2}, 5)});
  expect_dump(
      "Api Macro WinSendMsg \nMacro Format:S %s\n\nParms: 1 -1 -1 -1 -1 -1 -1 -1\n"
      "Api Macro WinPostMsg \nMacro Format:P %s\n\nParms: 1 -1 -1 -1 -1 -1 -1 -1\n"
      "Api Macro WinSendDlgItemMsg \nMacro Format:D %s\n\nParms: 2 -1 -1 -1 -1 -1 -1 -1\n"
      "First Letters: (W)\n");
}

TEST_F(Zaptor, DumpLayout) {
  table({macro("WinA", "A<%s>", {1}, 2), macro("Xb", "", {}), macro("", "fmt\nline2", {0, 1, 2, 3, 4, 5, 6, 7}),
         macro("Wq", "%d%n%%", {7, 6, 5, 4, 3, 2, 1, 0})});
  expect_dump(
      "Api Macro WinA \nMacro Format:A<%s>\nParms: 1 -1 -1 -1 -1 -1 -1 -1\n"
      "Api Macro Xb \nMacro Format:\nParms: -1 -1 -1 -1 -1 -1 -1 -1\n"
      "Api Macro  \nMacro Format:fmt\nline2\nParms: 0 1 2 3 4 5 6 7\n"
      "Api Macro Wq \nMacro Format:%d%n%%\nParms: 7 6 5 4 3 2 1 0\n"
      "First Letters: (WX)\n");
}

TEST_F(Zaptor, DumpFirstLettersOnceInOrderOfAppearance) {
  table({macro("Xa", "", {}), macro("Wb", "", {}), macro("Xc", "", {}), macro("Ad", "", {}), macro("Wc", "", {})});
  const RunResult r = zaptor({"-d"});
  EXPECT_EQ(r.exit_code, 0);
  const std::string tail = "First Letters: (XWA)\n";
  ASSERT_GE(r.out.size(), tail.size());
  EXPECT_EQ(r.out.substr(r.out.size() - tail.size()), tail);
}

TEST_F(Zaptor, DumpOfFieldsWithoutTerminatorOrWithBytesAfterIt) {
  const std::vector<MacroEntry> t = {macro_cb(kName256, 256, kFormat256, {0}),
                                     macro_cb("WinA\0WinB junk"s, 4, "<%s>\0junk"s, {0})};
  table(t);
  expect_dump("Api Macro " + kName256 + " \nMacro Format:" + kFormat256 + "\nParms: 0 -1 -1 -1 -1 -1 -1 -1\n" +
              "Api Macro WinA \nMacro Format:<%s>\nParms: 0 -1 -1 -1 -1 -1 -1 -1\n" + "First Letters: (W)\n");
}

TEST_F(Zaptor, DumpOfMoreThanHundredRecords) {
  const std::vector<MacroEntry> t = hundred_fifty();
  table(t);
  std::string expected;
  for (const MacroEntry& e : t) expected += dump_of(e);
  expect_dump(expected + "First Letters: (F)\n");
}

TEST_F(Zaptor, DumpOfEveryFirstLetter) {
  const std::vector<MacroEntry> t = every_first_letter();
  table(t);
  std::string expected;
  for (const MacroEntry& e : t) expected += dump_of(e);
  expect_dump(expected + "First Letters: (ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_)\n");
}

// Files that load an empty table: the dump shows only the first-letter line.
struct EmptyTableFile {
  const char* name;
  std::string bytes;
};

void PrintTo(const EmptyTableFile& f, std::ostream* os) { *os << f.name; }

class ZaptorEmptyTable : public Zaptor, public ::testing::WithParamInterface<EmptyTableFile> {};

TEST_P(ZaptorEmptyTable, DumpsNoEntry) {
  table_bytes(GetParam().bytes);
  expect_dump("First Letters: ()\n");
}

TEST_P(ZaptorEmptyTable, ConvertsNothing) {
  table_bytes(GetParam().bytes);
  source("prog.c", "WinA(x);\nWinSendMsg(h, M, 0, 0);\n");
  const RunResult r = zaptor({"prog.c"});
  EXPECT_EQ(r.out, console("prog.c", "prog.win"));
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.exit_code, 0);
  ASSERT_TRUE(exists("prog.win"));
  EXPECT_EQ(contents("prog.win"), "WinA(x);\nWinSendMsg(h, M, 0, 0);\n");
}

INSTANTIATE_TEST_SUITE_P(Files, ZaptorEmptyTable, ::testing::Values(
    EmptyTableFile{"EmptyFile", ""},
    EmptyTableFile{"OneByte", "\x01"},
    EmptyTableFile{"TwoBytes", "\x01\0"s},
    EmptyTableFile{"ThreeBytes", "\x01\0\0"s},
    EmptyTableFile{"CountZero", le32(0)},
    EmptyTableFile{"CountZeroFollowedByARecord", le32(0) + encode_record(macro("WinA", "<%s>", {0}))},
    EmptyTableFile{"CountMinusOne", le32(-1)},
    EmptyTableFile{"CountMinusOneFollowedByARecord", le32(-1) + encode_record(macro("WinA", "<%s>", {0}))},
    EmptyTableFile{"MostNegativeCount", le32(INT32_MIN)}),
    [](const ::testing::TestParamInfo<EmptyTableFile>& param_info) { return std::string(param_info.param.name); });

TEST_F(Zaptor, NothingAfterTheAnnouncedRecordsIsRead) {
  const MacroEntry a = macro("WinA", "A<%s>", {0});
  table_bytes(encode_macro_file(1, {a, macro("WinB", "B<%s>", {0})}) + "trailing garbage");
  expect_dump(dump_of(a) + "First Letters: (W)\n");
  source("prog.c", "WinA(x) WinB(y);\n");
  const RunResult r = zaptor({"prog.c"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(contents("prog.win"), "A<x> WinB(y);\n");
}

// ------------------------------------------------------------------ damaged macro files

std::vector<MacroEntry> two_entries() { return {macro("WinA", "A<%s>", {1}), macro("Xb", "", {})}; }

// The bytes of a file that announces `announced` records but holds the two
// entries above and then `extra` bytes of a further record.
std::string damaged_file(int32_t announced, std::size_t extra) {
  std::string f = encode_macro_file(announced, two_entries());
  f += encode_record(macro("WinC", "C<%s>", {0})).substr(0, extra);
  return f;
}

void expect_damage_message(const RunResult& r) {
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("zaptor.bin"), std::string::npos) << "stderr: \"" << escaped(r.err) << "\"";
}

TEST_F(Zaptor, DumpOfADamagedFileShowsTheWholeRecordsThenFails) {
  const std::vector<std::size_t> extras = {0, 1, 100, 551};
  for (std::size_t extra : extras) {
    SCOPED_TRACE("bytes of the third record: " + std::to_string(extra));
    table_bytes(damaged_file(3, extra));
    const RunResult r = zaptor({"-d"});
    expect_damage_message(r);
    const std::string records = dump_of(two_entries()[0]) + dump_of(two_entries()[1]);
    EXPECT_TRUE(r.out == records || r.out == records + "First Letters: (WX)\n")
        << "stdout: \"" << escaped(r.out) << "\"";
  }
}

TEST_F(Zaptor, DumpOfAFileWithoutAnyOfItsRecords) {
  const std::vector<std::string> files = {le32(1), le32(1) + std::string(551, 'W'), le32(INT32_MAX)};
  for (const std::string& f : files) {
    SCOPED_TRACE("file size " + std::to_string(f.size()));
    table_bytes(f);
    const RunResult r = zaptor({"-d"});
    expect_damage_message(r);
    EXPECT_TRUE(r.out.empty() || r.out == "First Letters: ()\n") << "stdout: \"" << escaped(r.out) << "\"";
  }
}

TEST_F(Zaptor, HugeCountWithOneRecord) {
  table_bytes(damaged_file(INT32_MAX, 0));
  const RunResult r = zaptor({"-d"});
  EXPECT_FALSE(r.timed_out);
  expect_damage_message(r);
  const std::string records = dump_of(two_entries()[0]) + dump_of(two_entries()[1]);
  EXPECT_TRUE(r.out == records || r.out == records + "First Letters: (WX)\n") << "stdout: \"" << escaped(r.out) << "\"";
}

TEST_F(Zaptor, DamagedFileStopsTheConversionBeforeTheDestination) {
  table_bytes(damaged_file(3, 100));
  source("prog.c", "WinA(h, y);\n");
  const RunResult r = zaptor({"prog.c"});
  expect_damage_message(r);
  EXPECT_TRUE(r.out.empty() || r.out == console("prog.c", "prog.win")) << "stdout: \"" << escaped(r.out) << "\"";
  EXPECT_FALSE(exists("prog.win"));
  EXPECT_EQ(contents("prog.c"), "WinA(h, y);\n");
}

TEST_F(Zaptor, DamagedFileLeavesAnExistingDestinationAlone) {
  table_bytes(damaged_file(3, 0));
  source("prog.c", "WinA(h, y);\n");
  source("out.c", "previous contents\n");
  const RunResult r = zaptor({"prog.c", "out.c"});
  expect_damage_message(r);
  EXPECT_EQ(contents("out.c"), "previous contents\n");
}

// ------------------------------------------------------------------ command line

TEST_F(Zaptor, UsageAndExit2) {
  table(tableAB());
  source("a", "WinA(h, y);\n");
  source("b", "old b\n");
  const std::vector<std::vector<std::string>> command_lines = {
      {}, {""}, {"", ""}, {"a", "b", "c"}, {"a", "", "b", "c"}, {"-v"}, {"-v", ""}};
  for (const auto& args : command_lines) {
    std::string shown;
    for (const std::string& a : args) shown += "[" + a + "] ";
    SCOPED_TRACE("operands: " + shown);
    const RunResult r = zaptor(args);
    EXPECT_EQ(r.out, kUsage);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.exit_code, 2);
  }
  EXPECT_EQ(contents("a"), "WinA(h, y);\n");
  EXPECT_EQ(contents("b"), "old b\n");
  EXPECT_FALSE(exists("c"));
  EXPECT_FALSE(exists("a.win"));
}

TEST_F(Zaptor, HelpAndVersionOnlyAsTheExactFirstWord) {
  // No macro file is needed, and the words after them do not count.
  const RunResult help = zaptor({"--help", "prog.c"});
  EXPECT_EQ(help.out, kUsage);
  EXPECT_EQ(help.err, "");
  EXPECT_EQ(help.exit_code, 0);
  const RunResult version = zaptor({"--version", "-d"});
  EXPECT_EQ(version.out, "zaptor 1.1\n");
  EXPECT_EQ(version.err, "");
  EXPECT_EQ(version.exit_code, 0);

  // Anywhere else, or not exactly, they are file names as before.
  table(tableAB());
  source("--helpx", "WinB(q);\n");
  const RunResult names = zaptor({"--helpx", "--version"});
  EXPECT_EQ(names.out, console("--helpx", "--version"));
  EXPECT_EQ(names.exit_code, 0);
  EXPECT_EQ(contents("--version"), "B<q>;\n");

  const RunResult full = zaptor_testing::run(
      {"/bin/sh", "-c", "exec \"$0\" --help >/dev/full", program("zaptor")}, dir.path());
  EXPECT_EQ(full.exit_code, 1);
  EXPECT_NE(full.err.find("standard output"), std::string::npos) << full.err;
}

TEST_F(Zaptor, UsageNeedsNoMacroFile) {
  const RunResult r = zaptor({});
  EXPECT_EQ(r.out, kUsage);
  EXPECT_EQ(r.exit_code, 2);
}

TEST_F(Zaptor, MissingMacroFile) {
  source("prog.c", "WinA(h, y);\n");
  const std::vector<std::vector<std::string>> command_lines = {{"prog.c"}, {"-d"}, {"-d", "prog.c"}, {"nosuch.c"},
                                                               {"prog.c", "out.c"}};
  for (const auto& args : command_lines) {
    SCOPED_TRACE(args.back());
    const RunResult r = zaptor(args);
    EXPECT_EQ(r.out, kNoMacroFile);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.exit_code, 1);
  }
  EXPECT_FALSE(exists("prog.win"));
  EXPECT_FALSE(exists("out.c"));
}

TEST_F(Zaptor, MacroFileIsReadFromTheCurrentDirectory) {
  make_dir(path("sub"));
  table(tableAB(), "sub/zaptor.bin");
  source("prog.c", "WinB(q);\n");
  const RunResult r = zaptor({"prog.c"});
  EXPECT_EQ(r.out, kNoMacroFile);
  EXPECT_EQ(r.exit_code, 1);
  const RunResult in_sub = zaptor({"../prog.c", "../out.c"}, "sub");
  EXPECT_EQ(in_sub.exit_code, 0);
  EXPECT_EQ(contents("out.c"), "B<q>;\n");
}

TEST_F(Zaptor, DumpWithoutOperand) {
  table(tableAB());
  expect_dump(dump_of(tableAB()[0]) + dump_of(tableAB()[1]) + dump_of(tableAB()[2]) + "First Letters: (W)\n");
}

TEST_F(Zaptor, DumpWithASourceConvertsNothing) {
  table(tableAB());
  source("prog.c", "WinB(q);\n");
  const std::string dump = dump_of(tableAB()[0]) + dump_of(tableAB()[1]) + dump_of(tableAB()[2]) + "First Letters: (W)\n";
  const std::vector<std::vector<std::string>> command_lines = {
      {"-d", "prog.c"}, {"prog.c", "-d"}, {"-dv", "prog.c"}, {"-d", "prog.c", "out.c"}, {"-d", "nosuch.c"}};
  for (const auto& args : command_lines) {
    SCOPED_TRACE(args[0] + " " + args[1]);
    const RunResult r = zaptor(args);
    EXPECT_TRUE(same_bytes(dump, r.out));
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.exit_code, 0);
  }
  EXPECT_FALSE(exists("prog.win"));
  EXPECT_FALSE(exists("out.c"));
  EXPECT_EQ(contents("prog.c"), "WinB(q);\n");
}

TEST_F(Zaptor, ConvertsIntoTheDerivedDestination) {
  table(tableAB());
  source("prog.c", "int x = WinB(q);\n");
  const RunResult r = zaptor({"prog.c"});
  EXPECT_EQ(r.out, "src: (prog.c) dst (prog.win)\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(contents("prog.win"), "int x = B<q>;\n");
  EXPECT_EQ(contents("prog.c"), "int x = WinB(q);\n");
}

TEST_F(Zaptor, ConvertsIntoTheSecondOperand) {
  table(tableAB());
  source("prog.c", "int x = WinB(q);\n");
  const RunResult r = zaptor({"prog.c", "out.c"});
  EXPECT_EQ(r.out, "src: (prog.c) dst (out.c)\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(contents("out.c"), "int x = B<q>;\n");
  EXPECT_FALSE(exists("prog.win"));
}

TEST_F(Zaptor, ExistingDestinationIsReplaced) {
  table(tableAB());
  source("prog.c", "WinB(q);\n");
  source("out.c", std::string(5000, 'o') + "\n");
  const RunResult r = zaptor({"prog.c", "out.c"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(contents("out.c"), "B<q>;\n");
}

struct Derived {
  const char* name;
  const char* cwd;          // the run's directory, relative to the temporary directory
  const char* operand;      // the source as given, relative to cwd
  const char* destination;  // the derived destination, relative to cwd
};

void PrintTo(const Derived& d, std::ostream* os) { *os << d.name; }

class ZaptorDerivedName : public Zaptor, public ::testing::WithParamInterface<Derived> {};

TEST_P(ZaptorDerivedName, IsCutAtTheFirstDotOfTheBaseName) {
  const Derived& d = GetParam();
  for (const char* sub : {"sub", "src.d", "dir.x", "dir.x/sub.y"}) make_dir(path(sub));
  const std::string cwd = d.cwd;
  const std::string prefix = cwd.empty() ? "" : cwd + "/";
  table(tableAB(), prefix + "zaptor.bin");
  source(prefix + d.operand, "WinB(q);\n");
  const RunResult r = zaptor({d.operand}, cwd);
  EXPECT_EQ(r.out, console(d.operand, d.destination));
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.exit_code, 0);
  ASSERT_TRUE(exists(prefix + d.destination));
  EXPECT_EQ(contents(prefix + d.destination), "B<q>;\n");
  EXPECT_FALSE(exists(prefix + ".win"));
  EXPECT_FALSE(exists(".win"));
}

INSTANTIATE_TEST_SUITE_P(Names, ZaptorDerivedName, ::testing::Values(
    Derived{"PlainName", "", "prog.c", "prog.win"},
    Derived{"SeveralDots", "", "a.b.c", "a.win"},
    Derived{"NoDot", "", "makefile", "makefile.win"},
    Derived{"TrailingDot", "", "prog.", "prog.win"},
    Derived{"ParentDirectory", "sub", "../x.c", "../x.win"},
    Derived{"DotSlash", "", "./prog.c", "./prog.win"},
    Derived{"DotInADirectoryName", "", "src.d/prog.c", "src.d/prog.win"},
    Derived{"DotInADirectoryNameNoDotInTheFile", "", "src.d/makefile", "src.d/makefile.win"},
    Derived{"DotsInDirectoriesAndName", "", "dir.x/sub.y/a.b.c", "dir.x/sub.y/a.win"}),
    [](const ::testing::TestParamInfo<Derived>& param_info) { return std::string(param_info.param.name); });

TEST_F(Zaptor, EmptyOperandsDoNotCount) {
  table(tableAB());
  struct Line {
    std::vector<std::string> args;
    std::string src, dst;
  };
  const std::vector<Line> lines = {
      {{"", "prog.c"}, "prog.c", "prog.win"},
      {{"prog.c", ""}, "prog.c", "prog.win"},
      {{"a", "", "b"}, "a", "b"},
      {{"", "", "prog.c", "out.c"}, "prog.c", "out.c"},
  };
  for (const Line& l : lines) {
    SCOPED_TRACE(l.src + " -> " + l.dst);
    source(l.src, "WinB(" + l.src + ");\n");
    std::filesystem::remove(path(l.dst));
    const RunResult r = zaptor(l.args);
    EXPECT_EQ(r.out, console(l.src, l.dst));
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.exit_code, 0);
    ASSERT_TRUE(exists(l.dst));
    EXPECT_EQ(contents(l.dst), "B<" + l.src + ">;\n");
  }
  EXPECT_FALSE(exists("a.win"));
}

TEST_F(Zaptor, DashWordsThatAreNoOptionsAreFileNames) {
  table(tableAB());
  source("-x", "WinB(x);\n");
  const RunResult r = zaptor({"-x"});
  EXPECT_EQ(r.out, console("-x", "-x.win"));
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(contents("-x.win"), "B<x>;\n");

  source("-", "WinB(dash);\n");
  const RunResult dash = zaptor({"-"});
  EXPECT_EQ(dash.out, console("-", "-.win"));
  EXPECT_EQ(dash.exit_code, 0);
  EXPECT_EQ(contents("-.win"), "B<dash>;\n");

  source("-?", "WinB(q);\n");
  const RunResult question = zaptor({"-?", "out.c"});
  EXPECT_EQ(question.out, console("-?", "out.c"));
  EXPECT_EQ(question.exit_code, 0);
  EXPECT_EQ(contents("out.c"), "B<q>;\n");
}

TEST_F(Zaptor, MissingDashSource) {
  table(tableAB());
  const RunResult r = zaptor({"-y"});
  EXPECT_EQ(r.out, console("-y", "-y.win") + "Could not open -y\n");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_FALSE(exists("-y.win"));
}

TEST_F(Zaptor, DoubleDashIsTheSource) {
  // There is no end-of-options marker: "--" is the source, prog.c the destination.
  table(tableAB());
  source("prog.c", "WinB(q);\n");
  const RunResult r = zaptor({"--", "prog.c"});
  EXPECT_EQ(r.out, console("--", "prog.c") + "Could not open --\n");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(contents("prog.c"), "WinB(q);\n");
}

TEST_F(Zaptor, OnlyTheSecondCharacterOfAnOptionCounts) {
  table(tableAB());
  const std::string src = "WinB(q);\nend\n";
  source("prog.c", src);
  const std::vector<std::vector<std::string>> command_lines = {{"-vd", "prog.c"}, {"-vx", "prog.c"},
                                                               {"prog.c", "-v"}, {"-v", "prog.c", "-v"}};
  for (const auto& args : command_lines) {
    SCOPED_TRACE(args[0] + " " + args[1]);
    std::filesystem::remove(path("prog.win"));
    const RunResult r = zaptor(args);
    EXPECT_EQ(r.out, console("prog.c", "prog.win"));
    EXPECT_EQ(r.err, src);
    EXPECT_EQ(r.exit_code, 0);
    ASSERT_TRUE(exists("prog.win"));
    EXPECT_EQ(contents("prog.win"), "B<q>;\nend\n");
  }
}

TEST_F(Zaptor, MissingSource) {
  table(tableAB());
  const RunResult r = zaptor({"nosuch.c"});
  EXPECT_EQ(r.out, "src: (nosuch.c) dst (nosuch.win)\nCould not open nosuch.c\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_FALSE(exists("nosuch.win"));
}

TEST_F(Zaptor, MissingSourceLeavesTheDestinationAlone) {
  table(tableAB());
  source("out.c", "previous\n");
  const RunResult r = zaptor({"nosuch.c", "out.c"});
  EXPECT_EQ(r.out, "src: (nosuch.c) dst (out.c)\nCould not open nosuch.c\n");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(contents("out.c"), "previous\n");
}

TEST_F(Zaptor, LongFileNames) {
  table(tableAB());
  const std::string base(200, 'a');
  source(base + ".c", "WinB(long);\n");
  const RunResult r = zaptor({base + ".c"});
  EXPECT_EQ(r.out, console(base + ".c", base + ".win"));
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(contents(base + ".win"), "B<long>;\n");

  std::string deep;
  for (int i = 0; i < 6; ++i) {
    deep += "directory_" + std::to_string(i) + ".d/";
    make_dir(path(deep));
  }
  const std::string out(250, 'o');
  source(deep + "prog.c", "WinB(deep);\n");
  const RunResult d = zaptor({deep + "prog.c"});
  EXPECT_EQ(d.out, console(deep + "prog.c", deep + "prog.win"));
  EXPECT_EQ(d.exit_code, 0);
  EXPECT_EQ(contents(deep + "prog.win"), "B<deep>;\n");
  const RunResult e = zaptor({deep + "prog.c", deep + out});
  EXPECT_EQ(e.out, console(deep + "prog.c", deep + out));
  EXPECT_EQ(e.exit_code, 0);
  EXPECT_EQ(contents(deep + out), "B<deep>;\n");

  const RunResult missing = zaptor({base + ".h"});
  EXPECT_EQ(missing.out, console(base + ".h", base + ".win") + "Could not open " + base + ".h\n");
  EXPECT_EQ(missing.exit_code, 1);
}

// ------------------------------------------------------------------ destination that is the source

TEST_F(Zaptor, DestinationThatIsTheSourceIsRefused) {
  table(tableAB());
  const std::string text = "int x = WinB(q);\n";
  make_dir(path("sub"));
  struct Line {
    const char* what;
    std::vector<std::string> args;
  };
  const std::vector<Line> lines = {
      {"the same name", {"prog.c", "prog.c"}},
      {"dot-slash destination", {"prog.c", "./prog.c"}},
      {"dot-slash source", {"./prog.c", "prog.c"}},
      {"path through a directory", {"prog.c", "sub/../prog.c"}},
      {"hard link", {"prog.c", "hard.c"}},
      {"symbolic link as destination", {"prog.c", "sym.c"}},
      {"symbolic link as source", {"sym.c", "prog.c"}},
  };
  source("prog.c", text);
  std::filesystem::create_hard_link(path("prog.c"), path("hard.c"));
  std::filesystem::create_symlink("prog.c", path("sym.c"));
  for (const Line& l : lines) {
    SCOPED_TRACE(l.what);
    const RunResult r = zaptor(l.args);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err, "");
    EXPECT_EQ(contents("prog.c"), text);
    EXPECT_TRUE(std::filesystem::is_symlink(path("sym.c")));
    EXPECT_EQ(std::filesystem::hard_link_count(path("prog.c")), 2u);
  }
}

TEST_F(Zaptor, DerivedDestinationThatIsTheSourceIsRefused) {
  table(tableAB());
  const std::string text = "int x = WinB(q);\n";
  source("prog.win", text);
  const RunResult r = zaptor({"prog.win"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err, "");
  EXPECT_EQ(contents("prog.win"), text);
}

// ------------------------------------------------------------------ files that cannot be used

TEST_F(Zaptor, DestinationThatCannotBeOpened) {
  table(tableAB());
  source("prog.c", "WinB(q);\n");
  make_dir(path("adir"));
  for (const char* dst : {"nodir/out.c", "adir"}) {
    SCOPED_TRACE(dst);
    const RunResult r = zaptor({"prog.c", dst});
    EXPECT_EQ(r.out, console("prog.c", dst) + "Could not open " + dst + "\n");
    EXPECT_EQ(r.exit_code, 1);
  }
  EXPECT_FALSE(exists("nodir"));
  EXPECT_EQ(contents("prog.c"), "WinB(q);\n");
}

TEST_F(Zaptor, DirectoryAsTheSourceIsAReadError) {
  table(tableAB());
  make_dir(path("src.c"));
  const RunResult r = zaptor({"src.c", "out.c"});
  EXPECT_GT(r.exit_code, 0) << "must fail through exit, not a signal";
  EXPECT_NE(r.err, "");
}

TEST_F(Zaptor, WriteErrorOnTheDestination) {
  table(tableAB());
  source("f.c", "int x = WinB(q);\nmore text\n");
  const RunResult r = zaptor({"f.c", "/dev/full"});
  EXPECT_GT(r.exit_code, 0) << "must fail through exit, not a signal";
  EXPECT_NE(r.err, "");
  EXPECT_EQ(contents("f.c"), "int x = WinB(q);\nmore text\n");
}

// With the standard input and error closed, the destination would take the
// error's descriptor and the echo would land in it.
TEST_F(Zaptor, ClosedStandardStreamsNeverReachTheDestination) {
  table(tableAB());
  source("f.c", "int x = WinB(q);\nmore text\n");
  const RunResult r = zaptor_testing::run(
      {"/bin/sh", "-c", "exec \"$0\" -v f.c out.c <&- 2>&-", program("zaptor")}, dir.path());
  EXPECT_EQ(r.exit_code, 0);
  zaptor({"f.c", "plain.c"});
  EXPECT_EQ(contents("out.c"), contents("plain.c"));
  const RunResult closed = zaptor_testing::run(
      {"/bin/sh", "-c", "exec \"$0\" f.c out2.c >&-", program("zaptor")}, dir.path());
  EXPECT_EQ(closed.exit_code, 1);
  EXPECT_NE(closed.err, "");
}

// ------------------------------------------------------------------ verbose echo and plain copies

TEST_F(Zaptor, VerboseEchoesEveryLineOnceInReadingOrder) {
  table(tableAB());
  struct Echo {
    const char* what;
    std::string src;
    std::string dst;
  };
  const std::vector<Echo> echoes = {
      {"continuation lines", "one\nWinA(x,\ny);\nthree\n", "one\nA<\ny>;\nthree\n"},
      {"several continuations", "WinA(h,\n WinB(\n q));\nlast\n", "A<\n B<\n q>>;\nlast\n"},
      {"deleted call", "a\nWinFoo(1,\n2,\n3);\nb\n", "a\n;\nb\n"},
      {"no final newline", "a\nWinB(q)", "a\nB<q>"},
      {"source ends inside a call", "a\nWinA(x,\nz\n", "a\nWinA(x,\nz\n"},
      {"long line", std::string(3000, 'x') + " WinB(q);\n" + "short\n", std::string(3000, 'x') + " B<q>;\nshort\n"},
      {"bytes", "\0a\xFF\n\0\n"s, "\0a\xFF\n\0\n"s},
  };
  for (const Echo& e : echoes) {
    SCOPED_TRACE(e.what);
    source("prog.c", e.src);
    const RunResult r = zaptor({"-v", "prog.c"});
    EXPECT_EQ(r.out, console("prog.c", "prog.win"));
    EXPECT_TRUE(same_bytes(e.src, r.err));
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_TRUE(same_bytes(e.dst, contents("prog.win")));
  }
}

TEST_F(Zaptor, SourceWithoutTabledCallsIsCopiedExactly) {
  const std::string src =
      "#include <stdio.h>\r\n"
      "int main(void) {\0 \xFF\x80\n"s
      "\tWinSendMsg(h, M, 0, 0); /* not tabled */ $ ; ' \" \\\n"
      "\n\n" +
      std::string(1000, 'L') + "\n" + "no newline at the end";
  expect_conversion(tableAB(), src, src);
}

TEST_F(Zaptor, EmptyTableCopiesExactly) {
  const std::string src = "WinA(x);\nWinB(y)\n";
  expect_conversion({}, src, src);
}

// ------------------------------------------------------------------ rewriting that never ends

bool mentions_number(const std::string& text, const std::string& number) {
  for (std::size_t at = text.find(number); at != std::string::npos; at = text.find(number, at + 1)) {
    const bool digit_before = at > 0 && std::isdigit(static_cast<unsigned char>(text[at - 1]));
    const std::size_t end = at + number.size();
    const bool digit_after = end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]));
    if (!digit_before && !digit_after) return true;
  }
  return false;
}

// The names in the directory, sorted.
std::vector<std::string> names_in(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

// A failed run leaves the destination as it was, and no temporary file.
TEST_F(Zaptor, EndlessRewritingLeavesTheDestinationAsItWas) {
  table({macro("WinA", " WinA(%s)", {0})});
  source("prog.c", "line one\nWinA(x);\nline three\n");
  RunOptions options;
  options.timeout = std::chrono::seconds(60);
  const RunResult r = zaptor({"prog.c"}, "", options);
  ASSERT_FALSE(r.timed_out) << "the rewriting did not stop";
  EXPECT_EQ(r.out, console("prog.c", "prog.win"));
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_TRUE(mentions_number(r.err, "2")) << "stderr: \"" << escaped(r.err) << "\"";
  EXPECT_FALSE(exists("prog.win"));
  EXPECT_EQ(contents("prog.c"), "line one\nWinA(x);\nline three\n");
  source("out.c", "old\n");
  EXPECT_EQ(zaptor({"prog.c", "out.c"}, "", options).exit_code, 1);
  EXPECT_EQ(contents("out.c"), "old\n");
  EXPECT_EQ(names_in(dir.path()), (std::vector<std::string>{"out.c", "prog.c", "zaptor.bin"}));
}

// A successful run replaces the file a link points to, and keeps its mode.
TEST_F(Zaptor, DestinationIsReplacedThroughItsLinkWithItsMode) {
  table({macro("WinA", "A", {})});
  source("prog.c", "WinA(x);\n");
  source("real.c", "old\n");
  std::filesystem::permissions(path("real.c"), std::filesystem::perms::owner_read |
                                                   std::filesystem::perms::owner_write |
                                                   std::filesystem::perms::group_read);
  std::filesystem::create_symlink("real.c", path("link.c"));
  EXPECT_EQ(zaptor({"prog.c", "link.c"}).exit_code, 0);
  EXPECT_TRUE(std::filesystem::is_symlink(path("link.c")));
  EXPECT_EQ(contents("real.c"), "A;\n");
  EXPECT_EQ(std::filesystem::status(path("real.c")).permissions(),
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                std::filesystem::perms::group_read);
}

TEST_F(Zaptor, TenThousandNestedCallsConvertExactly) {
  const std::size_t n = 10000;
  table(tableBrackets());
  source("prog.c", "first\n" + repeat("WinA(", n) + "x" + repeat(")", n) + ";\nlast\n");
  RunOptions options;
  options.timeout = std::chrono::seconds(300);
  const RunResult r = zaptor({"prog.c"}, "", options);
  EXPECT_FALSE(r.timed_out);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_TRUE(same_bytes("first\n" + repeat("[", n) + "x" + repeat("]", n) + ";\nlast\n", contents("prog.win")));
  std::cout << "[ info ] 10,000 nested calls: " << r.seconds << " s\n";
}

TEST_F(Zaptor, TenThousandNestedCallsOverTenThousandLines) {
  const std::size_t n = 10000;
  table(tableBrackets());
  source("prog.c", repeat("WinA(\n", n) + "x" + repeat(")", n) + ";\n");
  RunOptions options;
  options.timeout = std::chrono::seconds(300);
  const RunResult r = zaptor({"prog.c"}, "", options);
  EXPECT_FALSE(r.timed_out);
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_TRUE(same_bytes(repeat("[\n", n) + "x" + repeat("]", n) + ";\n", contents("prog.win")));
}

// ------------------------------------------------------------------ no arbitrary limits

TEST_F(Zaptor, TenThousandCallsOnOneLine) {
  expect_conversion(tableBrackets(), repeat("WinA(x);", 10000) + "\n", repeat("[x];", 10000) + "\n");
}

TEST_F(Zaptor, CallAtTheEndOfA100KBLine) {
  const std::string prefix = repeat("int a = 1; ", 100000 / 11);
  expect_conversion(tableBrackets(), prefix + "WinA(end);\nnext\n", prefix + "[end];\nnext\n");
}

TEST_F(Zaptor, CallAcrossTheOld255ByteBoundary) {
  for (std::size_t offset = 240; offset <= 265; ++offset) {
    SCOPED_TRACE(offset);
    const std::string pad(offset, ' ');
    expect_conversion(tableBrackets(), pad + "WinA(at_boundary);\n", pad + "[at_boundary];\n");
  }
}

TEST_F(Zaptor, LongCallParameterAndRest) {
  const std::string param(3000, 'p');
  const std::string rest = " + " + std::string(1000, 'r') + ";";
  expect_conversion(tableBrackets(), "x = WinA(" + param + ")" + rest + "\n", "x = [" + param + "]" + rest + "\n");
}

TEST_F(Zaptor, LineThatGrowsFarBeyondItsSource) {
  // Each call of 7 characters becomes 251; 100 of them on one line.
  table({macro("WinA", std::string(200, '<') + "%s" + std::string(50, '>'), {0})});
  source("prog.c", repeat("WinA(x)", 100) + "\n");
  const RunResult r = zaptor({"prog.c"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_TRUE(same_bytes(repeat(std::string(200, '<') + "x" + std::string(50, '>'), 100) + "\n", contents("prog.win")));
}

TEST_F(Zaptor, ManyParameters) {
  std::string call = "WinA(p0";
  for (int i = 1; i < 40; ++i) call += ",p" + std::to_string(i);
  call += ");\n";
  expect_conversion({macro("WinA", "%s %s %s", {0, 7, 6})}, call, "p0 p7 p6;\n");
}

}  // namespace
