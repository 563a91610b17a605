#include "zaptor/table_text.h"

#include <gtest/gtest.h>

#include "zaptor/entry_testing.h"
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "zaptor/compiled.h"

namespace zaptor {
namespace {

using namespace testing_entries;



// The entries of a text that must parse.
std::vector<std::string> parsed(std::string_view text) {
  const ParsedTable t = parse_table_text(text);
  EXPECT_TRUE(t.ok()) << "line " << t.error->line << ": " << t.error->message;
  return describe(t.entries);
}

// "LINE: message" of a text that must not parse.
std::string fault(std::string_view text) {
  const ParsedTable t = parse_table_text(text);
  if (t.ok()) return "(parsed)";
  return std::to_string(t.error->line) + ": " + t.error->message;
}

// ---------------------------------------------------------------------------
// Reading the text form

TEST(TableTextParse, FullEntry) {
  EXPECT_EQ(parsed("entry\n"
                   "name   WinSendMsg\n"
                   "cb     10\n"
                   "parms  4\n"
                   "order  1 -1 2\n"
                   "format \"S %s\\n\"\n"),
            std::vector<std::string>{"name \"WinSendMsg\" format \"S %s\n\" cb 10 parms 4 order 1 -1 2 -1 -1 -1 -1 -1"});
}

TEST(TableTextParse, DefaultsOfAnEmptyEntry) {
  EXPECT_EQ(parsed("entry\n"), std::vector<std::string>{"name none format none cb 0 parms 0 order -1 -1 -1 -1 -1 -1 -1 -1"});
}

TEST(TableTextParse, CbDefaultsToTheNameLengthWhereverTheNameStands) {
  EXPECT_EQ(parsed("entry\nformat \"x\"\nname GpiLine\nentry\nname Ab\ncb 0\n"),
            (std::vector<std::string>{"name \"GpiLine\" format \"x\" cb 7 parms 0 order -1 -1 -1 -1 -1 -1 -1 -1",
                                      "name \"Ab\" format none cb 0 parms 0 order -1 -1 -1 -1 -1 -1 -1 -1"}));
}

TEST(TableTextParse, EmptyQuotedNameOrFormatIsNone) {
  EXPECT_EQ(parsed("entry\nname \"\"\nformat \"\"\n"),
            std::vector<std::string>{"name none format none cb 0 parms 0 order -1 -1 -1 -1 -1 -1 -1 -1"});
}

TEST(TableTextParse, CommentsBlankLinesAndWhiteSpace) {
  EXPECT_EQ(parsed("# a table\n"
                   "\n"
                   "   \t\n"
                   "entry   # first\n"
                   "\tname\tWinA#no space needed\n"
                   "  order 0 1   # trailing\n"
                   "# the end, without a newline"),
            std::vector<std::string>{"name \"WinA\" format none cb 4 parms 0 order 0 1 -1 -1 -1 -1 -1 -1"});
}

TEST(TableTextParse, CrLfLines) {
  EXPECT_EQ(parsed("entry\r\nname WinA\r\nformat \"a\"\r\n"),
            std::vector<std::string>{"name \"WinA\" format \"a\" cb 4 parms 0 order -1 -1 -1 -1 -1 -1 -1 -1"});
}

TEST(TableTextParse, EmptyTextIsAnEmptyTable) {
  EXPECT_EQ(parsed(""), std::vector<std::string>{});
  EXPECT_EQ(parsed("# nothing\n\n"), std::vector<std::string>{});
}

TEST(TableTextParse, QuotedName) {
  EXPECT_EQ(parsed("entry\nname \"Win Odd#\"\n"),
            std::vector<std::string>{"name \"Win Odd#\" format none cb 8 parms 0 order -1 -1 -1 -1 -1 -1 -1 -1"});
}

TEST(TableTextParse, HashInsideQuotesIsNotAComment) {
  EXPECT_EQ(parsed("entry\nformat \"#define %s\" # comment\n"),
            std::vector<std::string>{"name none format \"#define %s\" cb 0 parms 0 order -1 -1 -1 -1 -1 -1 -1 -1"});
}

TEST(TableTextParse, Escapes) {
  const ParsedTable t = parse_table_text(
      "entry\nformat \"\\n\\t\\r\\\\\\\"\\'\\a\\b\\f\\v\\?|\\x41\\x7f\\xFF\\x0A1\"\n");
  ASSERT_TRUE(t.ok()) << t.error->message;
  ASSERT_EQ(t.entries.size(), 1u);
  EXPECT_EQ(t.entries[0].pchformat, "\n\t\r\\\"'\a\b\f\v?|A\x7F\xFF\n" "1");
}

TEST(TableTextParse, RawBytesStandForThemselves) {
  const ParsedTable t = parse_table_text("entry\nname \xC3\xA9t\xE9\nformat \"\t\x01\xFF'\"\n");
  ASSERT_TRUE(t.ok()) << t.error->message;
  ASSERT_EQ(t.entries.size(), 1u);
  EXPECT_EQ(t.entries[0].pchName, "\xC3\xA9t\xE9");
  EXPECT_EQ(t.entries[0].cb, 4);
  EXPECT_EQ(t.entries[0].pchformat, "\t\x01\xFF'");
}

TEST(TableTextParse, IntegerLimits) {
  EXPECT_EQ(parsed("entry\ncb -2147483648\nparms 2147483647\norder 7 6 5 4 3 2 1 0\n"),
            std::vector<std::string>{"name none format none cb -2147483648 parms 2147483647 order 7 6 5 4 3 2 1 0"});
  EXPECT_EQ(parsed("entry\ncb 007\n"), std::vector<std::string>{"name none format none cb 7 parms 0 order -1 -1 -1 -1 -1 -1 -1 -1"});
}

TEST(TableTextParse, LongestTextsThatFit) {
  const std::string name(255, 'N');
  const std::string format(255, 'f');
  const ParsedTable t = parse_table_text("entry\nname " + name + "\nformat \"" + format + "\"\n");
  ASSERT_TRUE(t.ok()) << t.error->message;
  EXPECT_EQ(t.entries[0].pchName, name);
  EXPECT_EQ(t.entries[0].pchformat, format);
  EXPECT_EQ(t.entries[0].cb, 255);
  // Escapes count as the byte they stand for.
  std::string escaped;
  for (int i = 0; i < 255; ++i) escaped += "\\n";
  EXPECT_TRUE(parse_table_text("entry\nformat \"" + escaped + "\"\n").ok());
}

TEST(TableTextParse, KeywordWordsAsValues) {
  EXPECT_EQ(parsed("entry\nname entry\nformat \"name\"\n"),
            std::vector<std::string>{"name \"entry\" format \"name\" cb 5 parms 0 order -1 -1 -1 -1 -1 -1 -1 -1"});
}

TEST(TableTextParse, LinesOfEntriesAndTheirFields) {
  const ParsedTable t = parse_table_text("# head\nentry\n  format \"x\"\nname A\n\nentry\norder 1 -1 2\n"
                                         "cb 1 # c\nparms 2\nentry\n");
  ASSERT_TRUE(t.ok()) << t.error->message;
  std::vector<std::string> shown;
  for (const EntryLines& l : t.lines) {
    shown.push_back("entry " + std::to_string(l.entry) + " name " + std::to_string(l.name) + " cb " +
                    std::to_string(l.cb) + " parms " + std::to_string(l.parms) + " order " + std::to_string(l.order) +
                    " (" + std::to_string(l.order_values) + ") format " + std::to_string(l.format));
  }
  EXPECT_EQ(shown, (std::vector<std::string>{"entry 2 name 4 cb 0 parms 0 order 0 (0) format 3",
                                             "entry 6 name 0 cb 8 parms 9 order 7 (3) format 0",
                                             "entry 10 name 0 cb 0 parms 0 order 0 (0) format 0"}));
}

// ---------------------------------------------------------------------------
// Malformed texts: the first fault with its line

TEST(TableTextErrors, Structure) {
  EXPECT_EQ(fault("# x\nname WinA\n"), "2: name before the first entry");
  EXPECT_EQ(fault("entry\nnames WinA\n"), "2: unknown keyword \"names\"");
  EXPECT_EQ(fault("Entry\n"), "1: unknown keyword \"Entry\"");
  EXPECT_EQ(fault("entry\nname A\nname B\n"), "3: name given twice in one entry");
  EXPECT_EQ(fault("entry\norder 1\nformat \"a\"\norder 2\n"), "4: order given twice in one entry");
  EXPECT_EQ(fault("entry x\n"), "1: entry takes no values");
  EXPECT_EQ(fault("\"entry\"\n"), "1: a line starts with a keyword, not a quoted string");
  EXPECT_EQ(fault("entry\nbogus\x01\n"), "2: unknown keyword \"bogus\\x01\"");
}

TEST(TableTextErrors, EachKeywordAgainInANewEntryIsFine) {
  EXPECT_EQ(fault("entry\nname A\nentry\nname B\n"), "(parsed)");
}

TEST(TableTextErrors, ValueCounts) {
  EXPECT_EQ(fault("entry\nname\n"), "2: name needs a value");
  EXPECT_EQ(fault("entry\nname A B\n"), "2: name takes one value, 2 given");
  EXPECT_EQ(fault("entry\nname \"A\"B\n"), "2: name takes one value, 2 given");
  EXPECT_EQ(fault("entry\nformat \"a\" \"b\"\n"), "2: format takes one value, 2 given");
  EXPECT_EQ(fault("entry\ncb 1 2\n"), "2: cb takes one value, 2 given");
  EXPECT_EQ(fault("entry\nparms\n"), "2: parms needs a value");
  EXPECT_EQ(fault("entry\norder\n"), "2: order needs a value");
  EXPECT_EQ(fault("entry\norder 0 1 2 3 4 5 6 7 0\n"), "2: order takes at most 8 values, 9 given");
}

TEST(TableTextErrors, Integers) {
  EXPECT_EQ(fault("entry\ncb ten\n"), "2: cb takes integers, \"ten\" is not one");
  EXPECT_EQ(fault("entry\ncb 10x\n"), "2: cb takes integers, \"10x\" is not one");
  EXPECT_EQ(fault("entry\ncb +1\n"), "2: cb takes integers, \"+1\" is not one");
  EXPECT_EQ(fault("entry\ncb 0x10\n"), "2: cb takes integers, \"0x10\" is not one");
  EXPECT_EQ(fault("entry\ncb \"10\"\n"), "2: cb takes integers, not a quoted string");
  EXPECT_EQ(fault("entry\nparms 2147483648\n"), "2: \"2147483648\" is out of range for a 32-bit integer");
  EXPECT_EQ(fault("entry\nparms -2147483649\n"), "2: \"-2147483649\" is out of range for a 32-bit integer");
  EXPECT_EQ(fault("entry\norder 1 two\n"), "2: order takes integers, \"two\" is not one");
  EXPECT_EQ(fault("entry\norder 1.5\n"), "2: order takes integers, \"1.5\" is not one");
}

TEST(TableTextErrors, OrderValuesOutsideTheSlots) {
  EXPECT_EQ(fault("entry\norder 0 8\n"), "2: order value 8 is neither -1 nor 0 to 7");
  EXPECT_EQ(fault("entry\norder -2\n"), "2: order value -2 is neither -1 nor 0 to 7");
}

TEST(TableTextErrors, TextsTooLongForTheirField) {
  EXPECT_EQ(fault("entry\nname " + std::string(256, 'N') + "\n"),
            "2: name is 256 bytes long, at most 255 fit its field");
  EXPECT_EQ(fault("entry\nname \"" + std::string(300, 'N') + "\"\n"),
            "2: name is 300 bytes long, at most 255 fit its field");
  std::string escaped;
  for (int i = 0; i < 256; ++i) escaped += "\\t";
  EXPECT_EQ(fault("entry\n\nformat \"" + escaped + "\"\n"),
            "3: format is 256 bytes long, at most 255 fit its field");
}

TEST(TableTextErrors, QuotedStrings) {
  EXPECT_EQ(fault("entry\nformat \"abc\n\"\n"), "2: quoted string not closed on its line");
  EXPECT_EQ(fault("entry\nformat \"abc\\\"\n"), "2: quoted string not closed on its line");
  EXPECT_EQ(fault("entry\nformat \"abc\\"), "2: quoted string not closed on its line");
  EXPECT_EQ(fault("entry\nformat \"\\q\"\n"), "2: unknown escape \\q");
  EXPECT_EQ(fault("entry\nformat \"\\0\"\n"), "2: unknown escape \\0");
  EXPECT_EQ(fault("entry\nformat \"\\\x80\"\n"), "2: unknown escape: a backslash before byte \"\\x80\"");
  EXPECT_EQ(fault("entry\nformat \"\\x4\"\n"), "2: \\x needs two hex digits");
  EXPECT_EQ(fault("entry\nformat \"\\xG0\"\n"), "2: \\x needs two hex digits");
  EXPECT_EQ(fault("entry\nformat \"\\x"), "2: \\x needs two hex digits");
  EXPECT_EQ(fault("entry\nformat \"a\\x00b\"\n"), "2: \\x00 cannot be stored in a field");
  EXPECT_EQ(fault("entry\nformat bare\n"), "2: format takes a quoted string");
}

TEST(TableTextErrors, NulBytes) {
  EXPECT_EQ(fault(std::string("entry\nname Wi\0n\n", 15)), "2: a NUL byte cannot be stored in a field");
  EXPECT_EQ(fault(std::string("entry\nformat \"a\0\"\n", 18)), "2: a NUL byte cannot be stored in a field");
  // In a comment it is nobody's business.
  EXPECT_EQ(fault(std::string("entry # \0\n", 10)), "(parsed)");
}

TEST(TableTextErrors, FirstFaultWins) {
  EXPECT_EQ(fault("entry\nname A\nbad\nname B\n"), "3: unknown keyword \"bad\"");
}

// ---------------------------------------------------------------------------
// Writing the text form

TEST(TableTextFormat, EntryWithEveryField) {
  EXPECT_EQ(format_table_text({entry("WinSendMsg", "S %s\n", 10, 4, {1, -1, 2, -1, -1, -1, -1, -1})}),
            "entry\n"
            "name   WinSendMsg\n"
            "parms  4\n"
            "order  1 -1 2\n"
            "format \"S %s\\n\"\n");
}

TEST(TableTextFormat, CbOnlyWhereItDiffersFromTheNameLength) {
  EXPECT_EQ(format_table_text({entry("WinSendMsg", std::nullopt, 7, 0, kNoOrder),
                               entry("Ab", std::nullopt, -2, 0, kNoOrder),
                               entry(std::nullopt, std::nullopt, 3, 0, kNoOrder),
                               entry(std::nullopt, std::nullopt, 0, 0, kNoOrder)}),
            "entry\nname   WinSendMsg\ncb     7\nparms  0\n"
            "\n"
            "entry\nname   Ab\ncb     -2\nparms  0\n"
            "\n"
            "entry\ncb     3\nparms  0\n"
            "\n"
            "entry\nparms  0\n");
}

TEST(TableTextFormat, OrderLineDroppedWhenAllMinusOne) {
  EXPECT_EQ(format_table_text({entry("A", std::nullopt, 1, 0, kNoOrder)}), "entry\nname   A\nparms  0\n");
  EXPECT_EQ(format_table_text({entry("A", std::nullopt, 1, 0, {-1, -1, -1, -1, -1, -1, -1, 7})}),
            "entry\nname   A\nparms  0\norder  -1 -1 -1 -1 -1 -1 -1 7\n");
}

TEST(TableTextFormat, NamesThatAreNotBareWordsAreQuoted) {
  EXPECT_EQ(format_table_text({entry("My_Win2", std::nullopt, 7, 0, kNoOrder),
                               entry("a b", std::nullopt, 3, 0, kNoOrder),
                               entry("x#y", std::nullopt, 3, 0, kNoOrder),
                               entry("\xE9t\xE9", std::nullopt, 3, 0, kNoOrder)}),
            "entry\nname   My_Win2\nparms  0\n\n"
            "entry\nname   \"a b\"\nparms  0\n\n"
            "entry\nname   \"x#y\"\nparms  0\n\n"
            "entry\nname   \"\\xE9t\\xE9\"\nparms  0\n");
}

TEST(TableTextFormat, EmptyTable) { EXPECT_EQ(format_table_text({}), ""); }

TEST(TableTextQuote, Escapes) {
  EXPECT_EQ(quote_text(""), "\"\"");
  EXPECT_EQ(quote_text("a\n\t\\\"b"), "\"a\\n\\t\\\\\\\"b\"");
  EXPECT_EQ(quote_text(std::string("\0\x01\r\x1F\x7F\x80\xFF", 7)), "\"\\x00\\x01\\x0D\\x1F\\x7F\\x80\\xFF\"");
  // Printable bytes stay, the comment sign and the single quote included.
  EXPECT_EQ(quote_text("#' %s?~"), "\"#' %s?~\"");
}

TEST(TableTextQuote, BareWords) {
  EXPECT_TRUE(is_bare_word("Win_Send2"));
  EXPECT_TRUE(is_bare_word("_"));
  EXPECT_FALSE(is_bare_word(""));
  EXPECT_FALSE(is_bare_word("a-b"));
  EXPECT_FALSE(is_bare_word("\xE9"));
}

// ---------------------------------------------------------------------------
// Round trips

// compile: text -> bytes
std::string compile(std::string_view text) {
  const ParsedTable t = parse_table_text(text);
  EXPECT_TRUE(t.ok()) << t.error->line << ": " << t.error->message;
  const Encoded e = encode_compiled(t.entries);
  EXPECT_TRUE(e.ok()) << e.error;
  return e.bytes;
}

// decompile: bytes -> text
std::string decompile(std::string_view bytes) {
  const Decoded d = decode_compiled(bytes);
  EXPECT_TRUE(d.status.ok());
  return format_table_text(d.entries);
}

std::string every_byte_but_nul() {
  std::string s;
  for (int c = 1; c < 256; ++c) s.push_back(static_cast<char>(c));
  return s;
}

TEST(TableTextRoundTrip, CompileDecompileCompileGivesTheSameBytes) {
  const std::string text =
      "# sample\n"
      "entry\nname WinSendMsg\nparms 4\norder 1\nformat \"S %s\\n\"\n"
      "entry\nname \"odd name\"\ncb 3\nparms -1\norder -1 -1 7 -1\nformat \"a#b\\x01\\xFF\\'\\?\\a\"\n"
      "entry\nformat \"no name\"\n"
      "entry\nname Deleted\n"
      "entry\n";
  const std::string bytes = compile(text);
  const std::string again = decompile(bytes);
  EXPECT_EQ(compile(again), bytes) << again;
  // And the text the decompiler writes is a fixed point.
  EXPECT_EQ(decompile(compile(again)), again);
}

TEST(TableTextRoundTrip, EveryByteInNameAndFormat) {
  const std::vector<_apitype> entries{entry(every_byte_but_nul(), every_byte_but_nul(), 255, 0, kNoOrder),
                                      entry(every_byte_but_nul().substr(0, 100), std::nullopt, 0, 0, kNoOrder)};
  const std::string text = format_table_text(entries);
  const ParsedTable t = parse_table_text(text);
  ASSERT_TRUE(t.ok()) << t.error->line << ": " << t.error->message;
  EXPECT_EQ(describe(t.entries), describe(entries));
}

TEST(TableTextRoundTrip, DecompileThenCompileLoadsTheSameTable) {
  // A file as an outside writer may make it: junk after the NULs, order
  // values that load as -1, a name filling 255 bytes, odd cb values.
  std::vector<_apitype> stored{entry("WinA", "A<%s>\n", 4, 2, {1, 0, -1, -1, -1, -1, -1, -1}),
                               entry(std::string(255, 'z'), "\x7F", -7, INT_MIN, kNoOrder),
                               entry(std::nullopt, std::nullopt, 12, 3, {7, 6, 5, 4, 3, 2, 1, 0})};
  std::string bytes = encode_compiled(stored).bytes;
  ASSERT_EQ(bytes.size(), 4 + 3 * 552u);
  bytes.replace(4 + 5, 3, "jnk");                                 // after the first name's NUL
  bytes.replace(4 + 520 + 8, 4, std::string("\x09\0\0\0", 4));   // iOrder[2] = 9
  const Decoded loaded = decode_compiled(bytes);
  ASSERT_TRUE(loaded.status.ok());
  const Decoded reloaded = decode_compiled(compile(decompile(bytes)));
  EXPECT_EQ(describe(reloaded.entries), describe(loaded.entries));
  EXPECT_EQ(loaded.entries[0].iOrder[2], -1);
}

// ---------------------------------------------------------------------------
// The zaptor-table program

namespace fs = std::filesystem;

class ZaptorTableProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* bin = std::getenv("ZAPTOR_BIN_DIR");
    if (bin == nullptr) GTEST_SKIP() << "ZAPTOR_BIN_DIR not set";
    program_ = fs::path(bin) / "zaptor-table";
    if (!fs::exists(program_)) GTEST_SKIP() << program_ << " not built";
    std::string pattern = (fs::temp_directory_path() / "zaptor-table-test-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    if (!dir_.empty()) fs::remove_all(dir_);
  }

  fs::path at(const std::string& name) const { return dir_ / name; }

  static void write(const fs::path& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  static std::string read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  // Runs zaptor-table with `args` (shell words) in the test directory;
  // returns the exit status, capturing stdout and stderr.
  // `prefix` is shell text run first in the same shell (limits, traps).
  int run(const std::string& args, const std::string& stdout_to = "", const std::string& prefix = "") {
    const std::string out = stdout_to.empty() ? at("stdout").string() : stdout_to;
    const std::string command = "cd '" + dir_.string() + "' && " + prefix + "'" + program_.string() + "' " + args +
                                " >'" + out + "' 2>'" + at("stderr").string() + "'";
    const int status = std::system(command.c_str());
    if (stdout_to.empty()) {
      out_ = read(at("stdout"));
      fs::remove(at("stdout"));
    }
    err_ = read(at("stderr"));
    fs::remove(at("stderr"));
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // The names in the test directory, to see that nothing is left behind.
  std::vector<std::string> files() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path program_;
  fs::path dir_;
  std::string out_;
  std::string err_;
};

const std::string kTable =
    "entry\nname WinSendMsg\nparms 4\norder 1\nformat \"S %s\\n\"\n"
    "entry\nname WinFoo\n";

TEST_F(ZaptorTableProgram, CompileWritesTheCompiledFile) {
  write(at("t.txt"), kTable);
  EXPECT_EQ(run("compile t.txt out.bin"), 0) << err_;
  EXPECT_EQ(err_, "");
  EXPECT_EQ(out_, "");
  EXPECT_EQ(read(at("out.bin")), compile(kTable));
  EXPECT_EQ(files(), (std::vector<std::string>{"out.bin", "t.txt"}));
}

TEST_F(ZaptorTableProgram, DecompilePrintsTheText) {
  write(at("in.bin"), compile(kTable));
  EXPECT_EQ(run("decompile in.bin"), 0) << err_;
  EXPECT_EQ(out_,
            "entry\nname   WinSendMsg\nparms  4\norder  1\nformat \"S %s\\n\"\n"
            "\n"
            "entry\nname   WinFoo\nparms  0\n");
  EXPECT_EQ(err_, "");
}

TEST_F(ZaptorTableProgram, RoundTripThroughTheProgram) {
  write(at("t.txt"), kTable);
  ASSERT_EQ(run("compile t.txt a.bin"), 0) << err_;
  ASSERT_EQ(run("decompile a.bin"), 0) << err_;
  write(at("again.txt"), out_);
  ASSERT_EQ(run("compile again.txt b.bin"), 0) << err_;
  EXPECT_EQ(read(at("a.bin")), read(at("b.bin")));
}

TEST_F(ZaptorTableProgram, UsageErrorsExitTwo) {
  for (const std::string args : {"", "compile", "compile t.txt", "compile a b c", "decompile", "decompile a b",
                                 "build t.txt out.bin", "check", "check a b", "--version x", "-v"}) {
    EXPECT_EQ(run(args), 2) << args;
    EXPECT_NE(err_.find("usage: zaptor-table compile TABLE.txt OUT.bin"), std::string::npos) << args;
    EXPECT_EQ(out_, "") << args;
  }
}

TEST_F(ZaptorTableProgram, HelpAndVersionGoToStandardOutput) {
  EXPECT_EQ(run("--help"), 0);
  EXPECT_EQ(out_,
            "usage: zaptor-table compile TABLE.txt OUT.bin\n"
            "       zaptor-table decompile IN.bin\n"
            "       zaptor-table check TABLE.txt\n");
  EXPECT_EQ(run("--version"), 0);
  EXPECT_EQ(out_, "zaptor-table 1.1\n");
  EXPECT_EQ(err_, "");
}

TEST_F(ZaptorTableProgram, CheckWarnsOnStandardErrorWithLinesAndExitsOne) {
  write(at("t.txt"), "entry\nname My_Win\n\nentry\nname WinA\norder 0 1\nformat \"A(%s, %s)\"\n");
  EXPECT_EQ(run("check t.txt"), 1);
  EXPECT_EQ(out_, "");
  EXPECT_EQ(err_,
            "t.txt:2: warning: name \"My_Win\" never matches: it holds \"_\", and calls are found as runs of the "
            "letters and digits A-Z a-z 0-9 only\n"
            "t.txt:7: warning: \"%s, %s\" doubles the blank: a parameter keeps the blank after its comma; write "
            "\"%s,%s\"\n");
  EXPECT_EQ(files(), std::vector<std::string>{"t.txt"});
}

TEST_F(ZaptorTableProgram, CheckOfACleanTableIsSilentAndOfAMalformedOneFails) {
  write(at("t.txt"), kTable);
  EXPECT_EQ(run("check t.txt"), 0);
  EXPECT_EQ(out_ + err_, "");
  write(at("bad.txt"), "entry\nname My_Win\ncb x\n");
  EXPECT_EQ(run("check bad.txt"), 1);
  EXPECT_EQ(out_, "");
  EXPECT_EQ(err_, "bad.txt:3: cb takes integers, \"x\" is not one\n");
  EXPECT_EQ(run("check none.txt"), 1);
  EXPECT_NE(err_.find("none.txt"), std::string::npos);
}

TEST_F(ZaptorTableProgram, MalformedTextNamesFileAndLineAndLeavesNoOutput) {
  write(at("bad.txt"), "entry\nname WinA\n\norder 1 x\n");
  EXPECT_EQ(run("compile bad.txt out.bin"), 1);
  EXPECT_EQ(err_, "bad.txt:4: order takes integers, \"x\" is not one\n");
  EXPECT_EQ(files(), std::vector<std::string>{"bad.txt"});
}

TEST_F(ZaptorTableProgram, MalformedTextLeavesAnExistingOutputAlone) {
  write(at("bad.txt"), "name WinA\n");
  write(at("out.bin"), "previous");
  EXPECT_EQ(run("compile bad.txt out.bin"), 1);
  EXPECT_EQ(err_, "bad.txt:1: name before the first entry\n");
  EXPECT_EQ(read(at("out.bin")), "previous");
  EXPECT_EQ(files(), (std::vector<std::string>{"bad.txt", "out.bin"}));
}

TEST_F(ZaptorTableProgram, CompileReplacesAnExistingOutput) {
  write(at("t.txt"), kTable);
  write(at("out.bin"), std::string(5000, 'x'));
  EXPECT_EQ(run("compile t.txt out.bin"), 0) << err_;
  EXPECT_EQ(read(at("out.bin")), compile(kTable));
}

TEST_F(ZaptorTableProgram, CompileThroughASymlinkReplacesItsTarget) {
  write(at("t.txt"), kTable);
  write(at("real.bin"), "old");
  fs::create_symlink("real.bin", at("link.bin"));
  EXPECT_EQ(run("compile t.txt link.bin"), 0) << err_;
  EXPECT_TRUE(fs::is_symlink(at("link.bin")));
  EXPECT_EQ(read(at("real.bin")), compile(kTable));
}

TEST_F(ZaptorTableProgram, MissingInputs) {
  EXPECT_EQ(run("compile none.txt out.bin"), 1);
  EXPECT_NE(err_.find("none.txt"), std::string::npos);
  EXPECT_EQ(run("decompile none.bin"), 1);
  EXPECT_NE(err_.find("none.bin"), std::string::npos);
  EXPECT_EQ(files(), std::vector<std::string>{});
}

TEST_F(ZaptorTableProgram, OutputIntoAMissingDirectoryFails) {
  write(at("t.txt"), kTable);
  EXPECT_EQ(run("compile t.txt no/such/out.bin"), 1);
  EXPECT_NE(err_.find("no/such/out.bin"), std::string::npos) << err_;
}

TEST_F(ZaptorTableProgram, OutputThatIsTheTableIsRefused) {
  write(at("t.txt"), kTable);
  EXPECT_EQ(run("compile t.txt ./t.txt"), 1);
  EXPECT_EQ(read(at("t.txt")), kTable);
}

TEST_F(ZaptorTableProgram, DamagedFileIsRefused) {
  std::string bytes = compile(kTable);
  bytes[0] = 3;  // announces three records, holds two
  write(at("d.bin"), bytes);
  EXPECT_EQ(run("decompile d.bin"), 1);
  EXPECT_EQ(err_, "zaptor-table: d.bin is damaged: it announces 3 records but holds only 2\n");
  EXPECT_EQ(out_, "");
}

TEST_F(ZaptorTableProgram, FieldFilledWithoutNulIsShownAndWarnedAbout) {
  std::string bytes = compile("entry\nname A\n");
  bytes.replace(4, 256, std::string(256, 'A'));
  write(at("full.bin"), bytes);
  EXPECT_EQ(run("decompile full.bin"), 0);
  EXPECT_EQ(out_, "entry\nname   " + std::string(256, 'A') + "\ncb     1\nparms  0\n");
  EXPECT_EQ(err_,
            "zaptor-table: full.bin: entry 1: name is 256 bytes long, at most 255 fit its field; "
            "compile will refuse it until it is shortened\n");
}

TEST_F(ZaptorTableProgram, FailedWriteLeavesNoTemporaryAndKeepsTheOldOutput) {
  // A file size limit of one 512-byte block makes writing the 1108-byte file
  // fail with EFBIG (the signal it would raise is ignored).
  write(at("t.txt"), kTable);
  write(at("out.bin"), "previous");
  EXPECT_EQ(run("compile t.txt out.bin", "", "trap '' XFSZ; ulimit -f 1; "), 1);
  EXPECT_NE(err_.find("cannot write out.bin"), std::string::npos) << err_;
  EXPECT_EQ(read(at("out.bin")), "previous");
  EXPECT_EQ(files(), (std::vector<std::string>{"out.bin", "t.txt"}));
}

TEST_F(ZaptorTableProgram, WriteErrorsAreReported) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  write(at("t.txt"), kTable);
  EXPECT_NE(run("compile t.txt /dev/full"), 0);
  EXPECT_NE(err_.find("/dev/full"), std::string::npos) << err_;
  write(at("in.bin"), compile(kTable));
  EXPECT_NE(run("decompile in.bin", "/dev/full"), 0);
  EXPECT_NE(err_.find("standard output"), std::string::npos) << err_;
}

}  // namespace
}  // namespace zaptor
