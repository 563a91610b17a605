// End-to-end tests of tallyx: each case writes a source into a fresh temporary
// directory, runs the built program on it and compares the exact bytes of the
// standard output and standard error, and the exit status.
//
// tallyx's own table: WinSendMsg prints "S %s\n" of parameter 1, WinPostMsg
// "P %s\n" of parameter 1, WinSendDlgItemMsg "D %s\n" of parameter 2; the
// first-letter set is "W".

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "tallyx/tallyx_main.h"
#include "tests/run_program.h"

using namespace std::string_literals;
using zaptor_testing::RunOptions;
using zaptor_testing::RunResult;
using zaptor_testing::TempDir;
using zaptor_testing::escaped;
using zaptor_testing::program;
using zaptor_testing::read_file;
using zaptor_testing::same_bytes;
using zaptor_testing::write_file;

namespace {

const std::string kUsage = "Useage: tallyx file \n";

std::string repeat(std::string_view s, std::size_t n) {
  std::string r;
  r.reserve(s.size() * n);
  for (std::size_t i = 0; i < n; ++i) r += s;
  return r;
}

class Tallyx : public ::testing::Test {
 protected:
  TempDir dir;

  // Runs tallyx in the test's directory: in this process, unless the output
  // is to be streamed to `options.on_out`.
  RunResult tally_args(std::vector<std::string> args, const RunOptions& options = {}) {
    args.insert(args.begin(), program("tallyx"));
    if (!options.on_out) return zaptor_testing::run_in_process(zaptor::tallyx_main, std::move(args), dir.path());
    return zaptor_testing::run(std::move(args), dir.path(), {}, options);
  }
  // Writes the source as prog.c and runs "tallyx prog.c".
  RunResult tally(std::string_view source, const RunOptions& options = {}) {
    write_file(dir.file("prog.c"), source);
    return tally_args({"prog.c"}, options);
  }
  // A run that succeeds: exit 0, nothing on the standard error.
  void expect_output(std::string_view source, std::string_view expected) {
    const RunResult r = tally(source);
    EXPECT_TRUE(same_bytes(expected, r.out)) << "source: \"" << escaped(source) << "\"";
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.exit_code, 0);
  }
};

// ------------------------------------------------------------------ table-driven cases

struct Case {
  const char* name;
  std::string source;
  std::string expected;  // the exact standard output; the exit status is 0, stderr empty
};

std::string case_name(const ::testing::TestParamInfo<Case>& info) { return info.param.name; }
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class TallyxOutput : public Tallyx, public ::testing::WithParamInterface<Case> {};

TEST_P(TallyxOutput, PrintsExactly) { expect_output(GetParam().source, GetParam().expected); }

// The shapes of calls and what is printed for them.
INSTANTIATE_TEST_SUITE_P(Calls, TallyxOutput, ::testing::Values(
    Case{"SendMsgKeepsTheBlankAfterTheComma",
         "WinSendMsg(hwnd, WM_CLOSE, 0L, 0L);\n", "S  WM_CLOSE\n"},
    Case{"PostMsgWithoutBlanks",
         "WinPostMsg(hwnd,WM_QUIT,0,0)\n", "P WM_QUIT\n"},
    Case{"CallOnALastLineWithoutNewline",
         "WinPostMsg(hwnd,WM_QUIT,0,0)", "P WM_QUIT\n"},
    Case{"DlgItemMsgNestedParenthesesDoNotSplit",
         "WinSendDlgItemMsg(hwnd, ID_LIST, LM_INSERTITEM, MPFROMSHORT(0), MPFROMP(psz))\n",
         "D  LM_INSERTITEM\n"},
    Case{"MessageOnTheNextLine",
         "WinSendMsg(hwnd,\n    WM_X, 0, 0);\n", "S \n    WM_X\n"},
    Case{"MessageSpanningLines",
         "WinSendMsg(hwnd,\n  WM_USER +\n  1, 0, 0);\n", "S \n  WM_USER +\n  1\n"},
    Case{"BlankBeforeParenthesisIsSkipped",
         "WinSendMsg (hwnd, WM_X, 0, 0);\n", "S  WM_X\n"},
    Case{"TabsAndBlanksBeforeParenthesis",
         "WinSendMsg \t  (hwnd, WM_X, 0, 0);\n", "S  WM_X\n"},
    Case{"ParenthesisOnALineNotYetReadIsNoCall",
         "WinSendMsg\n(hwnd, WM_X, 0, 0);\n", ""},
    Case{"NewlineBeforeParenthesisInsideAPulledInLine",
         "WinSendMsg(h, WinPostMsg\n(h2, INNER, 0, 0), 0, 0);\n",
         "S  WinPostMsg\n(h2, INNER, 0, 0)\nP  INNER\n"},
    Case{"SeveralCallsOnOneLineInOrder",
         "WinSendMsg(a, M1, 0, 0); WinPostMsg(b, M2, 0, 0); WinSendDlgItemMsg(c, 1, M3, 0, 0);\n",
         "S  M1\nP  M2\nD  M3\n"},
    Case{"CallsOnSeveralLinesInOrder",
         "a();\nWinPostMsg(h, ONE, 0, 0);\nb();\n  x = WinSendMsg(h, TWO, 0, 0);\n",
         "P  ONE\nS  TWO\n"},
    Case{"CallInTheMessageIsPrintedAfterIt",
         "WinSendMsg(h, WinPostMsg(h2, INNER, 0, 0), 0, 0);\n",
         "S  WinPostMsg(h2, INNER, 0, 0)\nP  INNER\n"},
    Case{"CallInAnotherParameterIsNotPrinted",
         "WinSendMsg(h, OUTER, WinPostMsg(h2, INNER, 0, 0), 0);\n", "S  OUTER\n"},
    Case{"CallInTheFirstParameterIsNotPrinted",
         "WinSendMsg(WinPostMsg(h2, INNER, 0, 0), OUTER, 0, 0);\n", "S  OUTER\n"},
    Case{"OneParameterGivesAnEmptyMessage", "WinSendMsg(hwnd);\n", "S \n"},
    Case{"NoParameterGivesAnEmptyMessage", "WinSendMsg();\n", "S \n"},
    Case{"DlgItemMsgWithTwoParameters", "WinSendDlgItemMsg(hwnd, ID);\n", "D \n"},
    Case{"EmptyMiddleParameter", "WinSendMsg(a,,b);\n", "S \n"},
    Case{"BlankMiddleParameter", "WinPostMsg(a, ,b);\n", "P  \n"},
    Case{"LongerNameIsNoCall", "WinSendMsgEx(h, M, 0, 0);\n", ""},
    Case{"ShorterNameIsNoCall", "WinSend(h, M, 0, 0);\n", ""},
    Case{"NameWithoutParenthesis",
         "WinSendMsg;\npfn = &WinSendMsg;\nx = WinSendMsg + 1;\nWinSendMsg\n", ""},
    Case{"NameCaseMatters", "winsendmsg(h, M, 0, 0);\nWINSENDMSG(h, M, 0, 0);\n", ""},
    Case{"UnderscoreEndsAWord", "My_WinSendMsg(h, M, 0, 0);\n", "S  M\n"},
    Case{"PrefixThatIsNoFirstLetter", "xWinSendMsg(h, M, 0, 0);\n", ""},
    Case{"DigitPrefix", "2WinSendMsg(h, M, 0, 0);\n", ""},
    Case{"DigitSuffix", "WinSendMsg2(h, M, 0, 0);\n", ""},
    Case{"PrefixThatIsAFirstLetter", "WWinSendMsg(h, M, 0, 0);\n", "S  M\n"},
    Case{"PrefixWinIsSkippedWhole", "WinWinSendMsg(h, M, 0, 0);\n", ""},
    Case{"NamesInCommentsAreFound",
         "/* WinSendMsg(h, C1, 0, 0) */\n// WinPostMsg(h, C2, 0, 0)\n", "S  C1\nP  C2\n"},
    Case{"NameInAStringIsFound",
         "puts(\"WinPostMsg(h, S1, 0, 0)\");\n", "P  S1\n"},
    Case{"CallInAStringOpenAtItsClosingQuote",
         "puts(\"WinSendMsg(\");\nq = \"x, M)\";\n", "S  M\n"},
    Case{"ParenthesisInAString", "WinSendMsg(h, \")\", 0, 0);\n", "S  \")\"\n"},
    Case{"CommaInAString", "WinSendMsg(h, \"a,b\", 0, 0);\n", "S  \"a,b\"\n"},
    Case{"ParenthesisInACharacterLiteral", "WinSendMsg(h, ')', 0, 0);\n", "S  ')'\n"},
    Case{"CommaInACharacterLiteral", "WinPostMsg(h, ',', 0, 0);\n", "P  ','\n"},
    Case{"OpenParenthesisInALiteral", "WinPostMsg(h, \"(\", 0, 0);\n", "P  \"(\"\n"},
    Case{"OperatorsRaiseNoReport",
         "WinSendMsg(h, a&b*c.d[e]-f>g<h/i+j|k?l!m%n=o^p_q:r, 0, 0);\n",
         "S  a&b*c.d[e]-f>g<h/i+j|k?l!m%n=o^p_q:r\n"},
    Case{"EveryKindOfWhiteSpace",
         "WinSendMsg(h,\t\v\f\r M, 0, 0);\n", "S \t\v\f\r M\n"},
    Case{"EmptySource", "", ""},
    Case{"SourceWithoutCalls",
         "#include <os2.h>\nint main(void)\n{\n  return WinFoo(1, 2);\n}\n", ""}),
    case_name);

// Escapes inside literals: a backslash takes the next character into the literal.
INSTANTIATE_TEST_SUITE_P(Escapes, TallyxOutput, ::testing::Values(
    Case{"EscapedQuoteCharacter",
         "WinSendMsg(h, '\\'', 0, 0);\nWinPostMsg(h, NEXT, 0, 0);\n",
         "S  '\\''\nP  NEXT\n"},
    Case{"EscapedQuoteInAString",
         "WinSendMsg(h, \"a\\\"b,c\", 0, 0);\nWinPostMsg(h, NEXT, 0, 0);\n",
         "S  \"a\\\"b,c\"\nP  NEXT\n"},
    Case{"DoubleBackslashEndsAString",
         "WinSendMsg(h, \"a\\\\\", M2, 0);\n", "S  \"a\\\\\"\n"},
    Case{"BackslashCharacter",
         "WinSendMsg(h, '\\\\', 0, 0);\nWinPostMsg(h, NEXT, 0, 0);\n",
         "S  '\\\\'\nP  NEXT\n"},
    Case{"BackslashNewlineInsideAString",
         "WinSendMsg(h, \"ab\\\ncd\", 0, 0);\nWinPostMsg(h, NEXT, 0, 0);\n",
         "S  \"ab\\\ncd\"\nP  NEXT\n"},
    Case{"DoubleQuoteInACharacterLiteral",
         "WinSendMsg(h, '\"', 0, 0);\nWinPostMsg(h, NEXT, 0, 0);\n",
         "S  '\"'\nP  NEXT\n"},
    Case{"ApostropheInAString",
         "WinSendMsg(h, \"it's\", 0, 0);\nWinPostMsg(h, NEXT, 0, 0);\n",
         "S  \"it's\"\nP  NEXT\n"},
    Case{"BackslashOutsideALiteralIsReported",
         "WinSendMsg(h, a\\b, 0, 0);\n",
         "Invalid character \\\nInvalid character \\\nS  a\\b\n"}),
    case_name);

// "Invalid character %c\n": reported every time a pass of the split stops on
// the character - twice after white space, an alphanumeric or an operator
// character, once after "(", ")", ",", a closing quote or another report -
// and always before the call's own line.
INSTANTIATE_TEST_SUITE_P(InvalidCharacters, TallyxOutput, ::testing::Values(
    Case{"BetweenLettersTwice", "WinSendMsg(h, a;b, 0, 0);\n",
         "Invalid character ;\nInvalid character ;\nS  a;b\n"},
    Case{"AfterACommaOnce", "WinSendMsg(h, a,;, 0);\n",
         "Invalid character ;\nS  a\n"},
    Case{"TwoInARowThreeTimes", "WinSendMsg(h, a;;, 0);\n",
         "Invalid character ;\nInvalid character ;\nInvalid character ;\nS  a;;\n"},
    Case{"AfterAClosingParenthesisOnce", "WinSendMsg(h, f(x);, 0);\n",
         "Invalid character ;\nS  f(x);\n"},
    Case{"AfterAnOpeningParenthesisOnce", "WinSendMsg(h, (;), 0);\n",
         "Invalid character ;\nS  (;)\n"},
    Case{"AfterAClosingQuoteOnce", "WinSendMsg(h, 'x';, 0);\n",
         "Invalid character ;\nS  'x';\n"},
    Case{"AfterTheOpeningParenthesisOfTheCallOnce", "WinSendMsg(;);\n",
         "Invalid character ;\nS \n"},
    Case{"AfterAnOperatorTwice", "WinSendMsg(h, a+$, 0);\n",
         "Invalid character $\nInvalid character $\nS  a+$\n"},
    Case{"AfterABlankTwice", "WinSendMsg(h, $, 0, 0);\n",
         "Invalid character $\nInvalid character $\nS  $\n"},
    Case{"OpeningBrace", "WinSendMsg(h, x{, 0, 0);\n",
         "Invalid character {\nInvalid character {\nS  x{\n"},
    Case{"ClosingBrace", "WinSendMsg(h, x}, 0, 0);\n",
         "Invalid character }\nInvalid character }\nS  x}\n"},
    Case{"Hash", "WinSendMsg(h, x#, 0, 0);\n",
         "Invalid character #\nInvalid character #\nS  x#\n"},
    Case{"TildeIsNoOperator", "WinSendMsg(h, ~x, 0, 0);\n",
         "Invalid character ~\nInvalid character ~\nS  ~x\n"},
    Case{"Backquote", "WinSendMsg(h, x`, 0, 0);\n",
         "Invalid character `\nInvalid character `\nS  x`\n"},
    Case{"At", "WinSendMsg(h, x@, 0, 0);\n",
         "Invalid character @\nInvalid character @\nS  x@\n"},
    Case{"InAnUnprintedParameter", "WinSendMsg(h, M, a;b, 0);\n",
         "Invalid character ;\nInvalid character ;\nS  M\n"},
    Case{"ReportsComeBeforeTheCallsLine",
         "WinPostMsg(h, FIRST, 0, 0);\nWinSendMsg(h, $, 0, 0);\nWinPostMsg(h, LAST, 0, 0);\n",
         "P  FIRST\nInvalid character $\nInvalid character $\nS  $\nP  LAST\n"},
    Case{"NestedCallReportsAgainWhenItIsRewritten",
         "WinSendMsg(h, WinPostMsg(h, $, 0, 0), 0, 0);\n",
         "Invalid character $\nInvalid character $\nS  WinPostMsg(h, $, 0, 0)\n"
         "Invalid character $\nInvalid character $\nP  $\n"},
    Case{"NothingInsideLiterals", "WinSendMsg(h, \"a;b$#\", ';', 0);\n",
         "S  \"a;b$#\"\n"},
    Case{"NothingOutsideCalls", "x = 1; $y; WinSendMsg(h, M, 0, 0); #z;\n", "S  M\n"}),
    case_name);

// Bytes: NUL is an ordinary character (reported inside a parameter list),
// bytes 0x80-0xFF are neither alphanumeric nor white space and raise no report.
INSTANTIATE_TEST_SUITE_P(Bytes, TallyxOutput, ::testing::Values(
    Case{"NulAfterACommaIsReportedOnce", "WinSendMsg(h,\0M, 0, 0);\n"s,
         "Invalid character \0\nS \0M\n"s},
    Case{"NulAfterALetterIsReportedTwice", "WinSendMsg(h, a\0b, 0, 0);\n"s,
         "Invalid character \0\nInvalid character \0\nS  a\0b\n"s},
    Case{"NulInAStringIsNotReported", "WinSendMsg(h, \"a\0b\", 0, 0);\n"s,
         "S  \"a\0b\"\n"s},
    Case{"NulBeforeACallDoesNotEndTheLine", "x\0y; WinSendMsg(h, M, 0, 0);\n"s, "S  M\n"},
    Case{"LinesOfNuls", "\0\n\0\0\nWinPostMsg(h, N, 0, 0);\n"s, "P  N\n"},
    Case{"NulInACallSpanningLines", "WinSendMsg(h,\n\0\n M, 0, 0);\n"s,
         "Invalid character \0\nInvalid character \0\nS \n\0\n M\n"s},
    Case{"Utf8InTheMessage", "WinSendMsg(h, caf\xC3\xA9, 0, 0);\n", "S  caf\xC3\xA9\n"},
    Case{"HighBytesAlone", "WinSendMsg(h, \x80\xFF, 0, 0);\n", "S  \x80\xFF\n"},
    Case{"HighByteEndsAWord", "caf\xE9WinSendMsg(h, M, 0, 0);\n", "S  M\n"},
    Case{"HighByteAfterTheNameIsNoCall", "WinSendMsg\xE9(h, M, 0, 0);\n", ""},
    Case{"NoBreakSpaceIsNoWhiteSpace", "WinSendMsg\xA0(h, M, 0, 0);\n", ""},
    Case{"NextLineByteIsNoWhiteSpace", "WinSendMsg\x85(h, M, 0, 0);\n", ""}),
    case_name);

// Comments inside a call: quotes, parentheses and commas in them have no
// effect and raise no report; names in them are still found.
INSTANTIATE_TEST_SUITE_P(Comments, TallyxOutput, ::testing::Values(
    Case{"LineCommentWithApostropheAfterAnArgument",
         "WinSendMsg(h, M, // we'll see\n  0, 0);\nWinPostMsg(h, N, 0, 0);\n",
         "S  M\nP  N\n"},
    Case{"BlockCommentWithDelimiters",
         "WinSendMsg(h, M /* ) , ' */, 0, 0);\nWinPostMsg(h, N, 0, 0);\n",
         "S  M /* ) , ' */\nP  N\n"},
    Case{"NoReportsInABlockComment",
         "WinSendMsg(h, M /* ; $ # */, 0, 0);\n", "S  M /* ; $ # */\n"},
    Case{"NoReportsInALineComment",
         "WinSendMsg(h, M, // a;b $ #\n 0, 0);\n", "S  M\n"},
    Case{"LineCommentInTheMessage",
         "WinSendMsg(h, M // it's\n, 0, 0);\n", "S  M // it's\n\n"},
    Case{"BlockCommentSpanningLines",
         "WinSendMsg(h, /* one\n ) two ' */ M, 0, 0);\n", "S  /* one\n ) two ' */ M\n"},
    Case{"LineCommentContinuedByABackslash",
         "WinSendMsg(h, M, // note \\\n still ) ' comment\n 0, 0);\nWinPostMsg(h, N, 0, 0);\n",
         "S  M\nP  N\n"},
    Case{"SlashStarSlashDoesNotClose",
         "WinSendMsg(h, /*/ ) */ M, 0, 0);\n", "S  /*/ ) */ M\n"},
    Case{"LineCommentMarkInAString",
         "WinSendMsg(h, \"//\", M, 0);\n", "S  \"//\"\n"},
    Case{"BlockCommentMarkInAString",
         "WinSendMsg(h, \"/*\", 0, 0); WinPostMsg(h, N, 0, 0);\n", "S  \"/*\"\nP  N\n"},
    Case{"NameInACommentInTheMessageIsFound",
         "WinSendMsg(h, M /* WinPostMsg(h, C, 0, 0) */, 0, 0);\n",
         "S  M /* WinPostMsg(h, C, 0, 0) */\nP  C\n"},
    Case{"SlashIsAnOperator", "WinSendMsg(h, a / b, 0, 0);\n", "S  a / b\n"},
    Case{"StarSlashWithoutOpening", "WinSendMsg(h, a */ b, 0, 0);\n", "S  a */ b\n"}),
    case_name);

// The source ends while a call is still open: nothing is printed for it.
INSTANTIATE_TEST_SUITE_P(SourceEndsInsideACall, TallyxOutput, ::testing::Values(
    Case{"ParenthesesNotClosed", "WinSendMsg(h, M, 0, 0\n", ""},
    Case{"EarlierCallsStillPrinted",
         "WinPostMsg(h, A, 0, 0);\nWinSendMsg(h, B,\n  0,\n", "P  A\n"},
    Case{"InsideAString", "WinSendMsg(h, \"abc, 0, 0);\n", ""},
    Case{"InsideACharacterLiteral", "WinSendMsg(h, ', 0, 0);\nmore\n", ""},
    Case{"InsideABlockComment", "WinSendMsg(h, M /* , 0, 0);\n", ""},
    Case{"InsideALineCommentWithoutNewline", "WinSendMsg(h, M, // x", ""},
    Case{"RightAfterTheParenthesis", "WinSendMsg(", ""},
    Case{"RightAfterTheParenthesisAndNewline", "WinSendMsg(\n", ""},
    Case{"AfterBlankAndParenthesis", "WinSendMsg (", ""},
    Case{"BackslashAtTheEndInsideAString", "WinSendMsg(h, \"abc\\", ""}),
    case_name);

// ------------------------------------------------------------------ command line and exit status

// Reports at every level of calls nested deep are printed until the line's
// budget; then the listing stops, names the line and exits 1.
TEST_F(Tallyx, ReportsPastTheLinesBudgetStopTheListing) {
  std::string nest;
  for (int i = 0; i < 1500; ++i) nest += "WinSendMsg(h, ";
  nest += std::string(2000, ';');
  for (int i = 0; i < 1500; ++i) nest += ")";
  write_file(dir.file("f.c"), "WinPostMsg(h, FIRST, 0, 0);\n" + nest + "\nWinPostMsg(h, LAST, 0, 0);\n");
  const RunResult r = tally_args({"f.c"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_TRUE(r.out.starts_with("P  FIRST\n"));
  EXPECT_EQ(r.out.find("LAST"), std::string::npos);
  EXPECT_NE(r.err.find("f.c:2: "), std::string::npos) << r.err;
}

TEST_F(Tallyx, NoOperandPrintsUsageAndExits2) {
  const RunResult r = tally_args({});
  EXPECT_EQ(r.out, kUsage);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.exit_code, 2);
}

TEST_F(Tallyx, TwoOperandsPrintUsageAndExit2) {
  write_file(dir.file("a.c"), "WinSendMsg(h, A, 0, 0);\n");
  write_file(dir.file("b.c"), "WinSendMsg(h, B, 0, 0);\n");
  const RunResult r = tally_args({"a.c", "b.c"});
  EXPECT_EQ(r.out, kUsage);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.exit_code, 2);
}

TEST_F(Tallyx, OnlyAnEmptyOperandPrintsUsage) {
  const RunResult r = tally_args({""});
  EXPECT_EQ(r.out, kUsage);
  EXPECT_EQ(r.exit_code, 2);
}

TEST_F(Tallyx, EmptyOperandBeforeTheFileDoesNotCount) {
  write_file(dir.file("prog.c"), "WinSendMsg(h, M, 0, 0);\n");
  const RunResult r = tally_args({"", "prog.c"});
  EXPECT_EQ(r.out, "S  M\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.exit_code, 0);
}

TEST_F(Tallyx, AnyOperandAfterTheFilePrintsUsage) {
  write_file(dir.file("prog.c"), "WinSendMsg(h, M, 0, 0);\n");
  const RunResult r = tally_args({"prog.c", ""});
  EXPECT_EQ(r.out, kUsage);
  EXPECT_EQ(r.exit_code, 2);
}

TEST_F(Tallyx, HelpAndVersionOnlyAsTheExactFirstWord) {
  const RunResult help = tally_args({"--help", "prog.c"});
  EXPECT_EQ(help.out, kUsage);
  EXPECT_EQ(help.err, "");
  EXPECT_EQ(help.exit_code, 0);
  const RunResult version = tally_args({"--version"});
  EXPECT_EQ(version.out, "tallyx 1.1\n");
  EXPECT_EQ(version.err, "");
  EXPECT_EQ(version.exit_code, 0);

  // Anywhere else, or not exactly, they are the file name as before.
  EXPECT_EQ(tally_args({"--versions"}).out, "Could not open --versions\n");
  write_file(dir.file("--help"), "WinPostMsg(h, HELP, 0, 0);\n");
  const RunResult second = tally_args({"", "--help"});
  EXPECT_EQ(second.out, "P  HELP\n");
  EXPECT_EQ(second.exit_code, 0);

  const RunResult full = zaptor_testing::run(
      {"/bin/sh", "-c", "exec \"$0\" --version >/dev/full", program("tallyx")}, dir.path());
  EXPECT_EQ(full.exit_code, 1);
  EXPECT_NE(full.err.find("cannot write the output"), std::string::npos) << full.err;
}

TEST_F(Tallyx, MissingSourceIsReportedAndExits1) {
  const RunResult r = tally_args({"nosuch.c"});
  EXPECT_EQ(r.out, "Could not open nosuch.c\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.exit_code, 1);
}

TEST_F(Tallyx, WordsWithADashAreFileNames) {
  // No options: "-x", "-v", "-", "--" and "-?" name files.
  const RunResult missing = tally_args({"-x"});
  EXPECT_EQ(missing.out, "Could not open -x\n");
  EXPECT_EQ(missing.exit_code, 1);

  const std::vector<std::string> names = {"-v", "-", "--", "-?"};
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    write_file(dir.file(name), "WinPostMsg(h, " + std::string(name == "-" ? "DASH" : "OTHER") + ", 0, 0);\n");
    const RunResult r = tally_args({name});
    EXPECT_EQ(r.out, name == "-" ? "P  DASH\n" : "P  OTHER\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.exit_code, 0);
  }
}

TEST_F(Tallyx, LongFileNames) {
  const std::string name = std::string(200, 'n') + ".c";
  const RunResult missing = tally_args({name});
  EXPECT_EQ(missing.out, "Could not open " + name + "\n");
  EXPECT_EQ(missing.exit_code, 1);

  write_file(dir.file(name), "WinSendMsg(h, LONG_NAME, 0, 0);\n");
  const RunResult r = tally_args({name});
  EXPECT_EQ(r.out, "S  LONG_NAME\n");
  EXPECT_EQ(r.exit_code, 0);
}

TEST_F(Tallyx, DirectoryAsTheSourceIsAReadError) {
  zaptor_testing::make_dir(dir.file("src.c"));
  const RunResult r = tally_args({"src.c"});
  EXPECT_NE(r.exit_code, 0);
  EXPECT_GT(r.exit_code, 0) << "must end through exit, not a signal";
  EXPECT_NE(r.err, "");
  EXPECT_EQ(r.out, "");
}

TEST_F(Tallyx, WriteErrorOnTheOutputIsReported) {
  write_file(dir.file("f.c"), "WinSendMsg(h, WM_CLOSE, 0, 0);\n");
  const RunResult r = zaptor_testing::run(
      {"/bin/sh", "-c", "exec \"$0\" f.c >/dev/full", program("tallyx")}, dir.path());
  EXPECT_NE(r.exit_code, 0);
  EXPECT_GT(r.exit_code, 0) << "must end through exit, not a signal";
  EXPECT_NE(r.err, "");
}

TEST_F(Tallyx, ClosedStandardOutputIsAFailure) {
  write_file(dir.file("f.c"), "WinSendMsg(h, WM_CLOSE, 0, 0);\n");
  const RunResult r = zaptor_testing::run(
      {"/bin/sh", "-c", "exec \"$0\" f.c >&-", program("tallyx")}, dir.path());
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err, "");
}

TEST_F(Tallyx, ClosedStandardInputAndErrorChangeNothing) {
  write_file(dir.file("f.c"), "WinSendMsg(h, WM_CLOSE, 0, 0);\n");
  const RunResult r = zaptor_testing::run(
      {"/bin/sh", "-c", "exec \"$0\" f.c <&- 2>&-", program("tallyx")}, dir.path());
  EXPECT_EQ(r.out, "S  WM_CLOSE\n");
  EXPECT_EQ(r.exit_code, 0);
}

// The bundled sample holds calls in every shape; the generator that wrote it
// also wrote what tallyx must print for it.
TEST_F(Tallyx, BundledSamplePrintsWhatItsGeneratorExpects) {
  const std::string examples = ZAPTOR_EXAMPLES_DIR;
  const RunResult r = tally_args({examples + "tallyx_sample.c"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, read_file(examples + "tallyx_sample.expected"));
}

TEST_F(Tallyx, SuccessExits0) {
  const RunResult r = tally("WinSendMsg(h, WM_PAINT, 0, 0);\n");
  EXPECT_EQ(r.out, "S  WM_PAINT\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.exit_code, 0);
}

TEST_F(Tallyx, SourceInADirectory) {
  zaptor_testing::make_dir(dir.file("src.d"));
  write_file(dir.file("src.d/prog.c"), "WinPostMsg(h, IN_DIR, 0, 0);\n");
  const RunResult r = tally_args({"src.d/prog.c"});
  EXPECT_EQ(r.out, "P  IN_DIR\n");
  EXPECT_EQ(r.exit_code, 0);
}

// ------------------------------------------------------------------ no arbitrary limits

TEST_F(Tallyx, CallAtTheEndOfA100KBLine) {
  const std::string line = repeat("int a = 1; ", 100000 / 11) + "WinSendMsg(h, LONG_END, 0, 0);\n";
  ASSERT_GT(line.size(), 100000u);
  expect_output(line, "S  LONG_END\n");
}

TEST_F(Tallyx, CallAcrossTheOld255ByteBoundary) {
  // The name starts at every offset from 240 to 265 of its physical line.
  for (std::size_t offset = 240; offset <= 265; ++offset) {
    SCOPED_TRACE(offset);
    expect_output(std::string(offset, ' ') + "WinPostMsg(h, AT_BOUNDARY, 0, 0);\n", "P  AT_BOUNDARY\n");
  }
}

TEST_F(Tallyx, TenThousandCallsOnOneLine) {
  const std::string source = repeat("WinPostMsg(h,M,0,0); ", 10000) + "\n";
  expect_output(source, repeat("P M\n", 10000));
}

TEST_F(Tallyx, LongMessageParameter) {
  const std::string message = "\"" + std::string(5000, 'm') + "\"";
  expect_output("WinSendMsg(h, " + message + ", 0, 0);\n", "S  " + message + "\n");
}

TEST_F(Tallyx, ManyParameters) {
  std::string call = "WinSendDlgItemMsg(p0";
  for (int i = 1; i < 30; ++i) call += ", p" + std::to_string(i);
  call += ");\n";
  expect_output(call, "D  p2\n");
}

TEST_F(Tallyx, CallSpanningTenThousandLines) {
  // The handle spans 5,000 lines, the message 5,000 more.
  const std::string handle = repeat("  h +\n", 5000) + "  h";
  const std::string message = repeat("\n  WM_USER +", 5000) + " 1";
  const std::string source = "x = WinSendMsg(" + handle + "," + message + ", 0, 0);\nWinPostMsg(h, AFTER, 0, 0);\n";
  expect_output(source, "S " + message + "\nP  AFTER\n");
}

TEST_F(Tallyx, TenThousandNestedCallsInTheMessage) {
  // Level i's message is the call of level i + 1; the innermost passes M.
  // Each level prints its message, so line i (outer first) is
  // "S " + (n-1-i) times "WinSendMsg(h," + "M" + (n-1-i) times ")" + "\n".
  constexpr std::size_t n = 10000;
  const std::string source = repeat("WinSendMsg(h,", n) + "M" + repeat(")", n) + ";\n";
  write_file(dir.file("prog.c"), source);

  auto expected_line = [](std::size_t i) {
    const std::size_t k = n - 1 - i;  // nesting depth of the printed message
    return "S " + repeat("WinSendMsg(h,", k) + "M" + repeat(")", k) + "\n";
  };
  std::size_t line = 0;  // the expected line being compared
  std::string current = expected_line(0);
  std::size_t pos = 0;     // position within it
  std::size_t offset = 0;  // bytes compared so far
  bool mismatch = false;
  std::string mismatch_text;
  RunOptions options;
  options.timeout = std::chrono::seconds(300);
  options.on_out = [&](std::string_view piece) {
    while (!piece.empty() && !mismatch) {
      if (pos == current.size()) {
        if (line + 1 == n) {
          mismatch = true;
          mismatch_text = "output goes on after the last expected line: \"" + escaped(piece, 80) + "\"";
          return;
        }
        current = expected_line(++line);
        pos = 0;
      }
      const std::size_t m = std::min(piece.size(), current.size() - pos);
      if (piece.compare(0, m, current, pos, m) != 0) {
        std::size_t d = 0;
        while (piece[d] == current[pos + d]) ++d;
        mismatch = true;
        mismatch_text = "at output offset " + std::to_string(offset + d) + " (line " + std::to_string(line) +
                        ", column " + std::to_string(pos + d) + "): got \"" + escaped(piece.substr(d), 40) +
                        "\", expected \"" + escaped(std::string_view(current).substr(pos + d), 40) + "\"";
        return;
      }
      pos += m;
      offset += m;
      piece.remove_prefix(m);
    }
  };
  const RunResult r = tally_args({"prog.c"}, options);
  EXPECT_FALSE(r.timed_out) << "took longer than " << options.timeout.count() << " ms";
  EXPECT_FALSE(mismatch) << mismatch_text;
  const bool complete = line == n - 1 && pos == current.size();  // the last line is "S M\n"
  EXPECT_TRUE(mismatch || complete) << "output ended early at line " << line << ", column " << pos;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.exit_code, 0);
  std::cout << "[ info ] " << n << " nested calls: " << offset << " bytes in " << r.seconds << " s\n";
}

TEST_F(Tallyx, TenThousandNestedCallsInAnUnprintedParameter) {
  const std::size_t n = 10000;
  const std::string source = repeat("WinSendMsg(h, M, ", n) + "0" + repeat(", 0)", n) + ";\n";
  RunOptions options;
  options.timeout = std::chrono::seconds(60);
  const RunResult r = tally(source, options);
  EXPECT_FALSE(r.timed_out);
  EXPECT_EQ(r.out, "S  M\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.exit_code, 0);
}

TEST_F(Tallyx, HundredThousandCallsOnOneLineRunInLinearTime) {
  const std::string source = repeat("WinPostMsg(h,M,0,0); ", 100000) + "\n";
  RunOptions options;
  options.timeout = std::chrono::seconds(60);
  const RunResult r = tally(source, options);
  EXPECT_FALSE(r.timed_out);
  EXPECT_TRUE(same_bytes(repeat("P M\n", 100000), r.out));
  EXPECT_EQ(r.exit_code, 0);
  std::cout << "[ info ] 100,000 calls on one line: " << r.seconds << " s\n";
}

TEST_F(Tallyx, CallWhoseMessageHoldsHundredThousandLinesOfCalls) {
  const std::string message = repeat("\nWinPostMsg(h, A, 0, 0)", 100000);
  const std::string source = "WinSendMsg(h," + message + ", 0, 0);\n";
  RunOptions options;
  options.timeout = std::chrono::seconds(60);
  const RunResult r = tally(source, options);
  EXPECT_FALSE(r.timed_out);
  EXPECT_TRUE(same_bytes("S " + message + "\n" + repeat("P  A\n", 100000), r.out));
  EXPECT_EQ(r.exit_code, 0);
  std::cout << "[ info ] one call over 100,000 lines: " << r.seconds << " s\n";
}

}  // namespace
