#include "zaptor/table_check.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>


namespace zaptor {
namespace {

// "LINE: message" for each warning on a text that must parse.
std::vector<std::string> warnings(std::string_view text) {
  const ParsedTable table = parse_table_text(text);
  EXPECT_TRUE(table.ok()) << table.error->line << ": " << table.error->message;
  std::vector<std::string> out;
  for (const TableWarning& w : check_table(table)) out.push_back(std::to_string(w.line) + ": " + w.message);
  return out;
}

using Lines = std::vector<std::string>;

TEST(TableCheck, TablesThatWorkAsWrittenGiveNoWarnings) {
  std::ifstream bundled(ZAPTOR_EXAMPLES_DIR "table.txt", std::ios::binary);
  ASSERT_TRUE(bundled) << "examples/table.txt";
  EXPECT_EQ(warnings(std::string(std::istreambuf_iterator<char>(bundled), {})), Lines{});
  EXPECT_EQ(warnings("entry\nname WinA\nparms 3\norder 0 -1 2\nformat \"A(%-10s|%.5s|%05s) 100%%\\n\"\n"
                     "entry\nname WinB\norder 7\nformat \"B(%s)\"\n"   // no parms line: nothing declared
                     "entry\nname Del\n"                                // no format: calls deleted
                     "entry\nname WinC\nparms 2\norder 1 0\nformat \"C(%s, %s)\"\n"),  // parameter 0 has no blank
            Lines{});
}

TEST(TableCheck, NamesThatCannotMatch) {
  EXPECT_EQ(warnings("entry\nname My_Win\n"
                     "entry\nname \"Win Send\"\n"
                     "entry\nname \"Win\\xE9\"\n"
                     "entry\nname \"\"\n"
                     "entry\nformat \"x\"\n"),
            (Lines{"2: name \"My_Win\" never matches: it holds \"_\", and calls are found as runs of the letters "
                   "and digits A-Z a-z 0-9 only",
                   "4: name \"Win Send\" never matches: it holds \" \", and calls are found as runs of the letters "
                   "and digits A-Z a-z 0-9 only",
                   "6: name \"Win\\xE9\" never matches: it holds \"\\xE9\", and calls are found as runs of the "
                   "letters and digits A-Z a-z 0-9 only",
                   "8: an entry without a name never matches", "9: an entry without a name never matches"}));
}

TEST(TableCheck, CbOtherThanTheNameLength) {
  EXPECT_EQ(warnings("entry\nname WinSendMsg\ncb 3\n"
                     "entry\nname WinA\ncb 5\n"
                     "entry\nname WinB\ncb 0\n"
                     "entry\nname WinC\ncb -4\n"
                     "entry\nname Ab_c\ncb 2\n"      // the underscore lies past the matched part
                     "entry\nname A_\ncb 3\n"),      // both wrong
            (Lines{"3: cb 3 makes the entry match calls of \"Win\" (the name's first 3 bytes), never of \"WinSendMsg\"",
                   "6: cb 5 is longer than the name \"WinA\" (4 bytes): the entry never matches",
                   "9: cb 0 leaves no name to match: the entry never matches",
                   "12: cb -4 leaves no name to match: the entry never matches",
                   "15: cb 2 makes the entry match calls of \"Ab\" (the name's first 2 bytes), never of \"Ab_c\"",
                   "17: name \"A_\" never matches: it holds \"_\", and calls are found as runs of the letters and "
                   "digits A-Z a-z 0-9 only",
                   "18: cb 3 is longer than the name \"A_\" (2 bytes): the entry never matches"}));
}

TEST(TableCheck, ANameTabledTwiceNamesTheFirst) {
  EXPECT_EQ(warnings("entry\nname WinA\n"
                     "entry\nname WinA\n"
                     "entry\nname WinAB\ncb 4\n"   // matches what WinA matches
                     "entry\nname Win_X\n"         // never matches, so it takes no word
                     "entry\nname Win\n"
                     "entry\nname WinA\ncb 5\n"),  // never matches either
            (Lines{"4: calls of \"WinA\" go to the entry on line 2, the first that matches them: this entry never "
                   "matches",
                   "6: calls of \"WinA\" go to the entry on line 2, the first that matches them: this entry never "
                   "matches",
                   "7: cb 4 makes the entry match calls of \"WinA\" (the name's first 4 bytes), never of \"WinAB\"",
                   "9: name \"Win_X\" never matches: it holds \"_\", and calls are found as runs of the letters and "
                   "digits A-Z a-z 0-9 only",
                   "14: cb 5 is longer than the name \"WinA\" (4 bytes): the entry never matches"}));
}

TEST(TableCheck, ConversionsCopiedAsTheyStand) {
  EXPECT_EQ(warnings("entry\nname WinA\norder 0 0 0\n"
                     "format \"%d %s %*s %ls %1$s %5% % s %99999999999s %\"\n"),
            (Lines{"4: \"%d\" in the format is copied as it stands: only %s (with flags, width and precision) and %% "
                   "are converted",
                   "4: \"%*s\" in the format is copied as it stands: only %s (with flags, width and precision) and "
                   "%% are converted",
                   "4: \"%ls\" in the format is copied as it stands: only %s (with flags, width and precision) and "
                   "%% are converted",
                   "4: \"%1$s\" in the format is copied as it stands: only %s (with flags, width and precision) and "
                   "%% are converted",
                   "4: \"%5%\" in the format is copied as it stands: only %s (with flags, width and precision) and "
                   "%% are converted",
                   "4: \"%99999999999s\" in the format is copied as it stands: only %s (with flags, width and "
                   "precision) and %% are converted",
                   "4: \"%\" in the format is copied as it stands: only %s (with flags, width and precision) and %% "
                   "are converted"}));
  // The byte after a "%" ends the conversion whatever it is, a newline too.
  EXPECT_EQ(warnings("entry\nname WinA\nformat \"50%\\n\"\n"),
            Lines{"3: \"%\\n\" in the format is copied as it stands: only %s (with flags, width and precision) and %% "
                  "are converted"});
}

TEST(TableCheck, MoreConversionsThanOrderValues) {
  EXPECT_EQ(warnings("entry\nname WinA\norder 1\nformat \"A(%s,%s)\"\n"
                     "entry\nname WinB\nformat \"B(%3s)\"\n"
                     "entry\nname WinC\norder 0 -1\nformat \"C(%s,%s)\"\n"),  // the -1 is written: meant
            (Lines{"4: the format has 2 %s conversions but order gives 1 value: a conversion without an order value "
                   "takes no parameter and prints empty",
                   "7: the format has 1 %s conversion but the entry has no order: a conversion without an order "
                   "value takes no parameter and prints empty"}));
  // Slots end at eight, and order cannot give a ninth value.
  EXPECT_EQ(warnings("entry\nname WinA\norder 0 1 2 3 4 5 6 7\nformat \"%s%s%s%s%s%s%s%s%s\"\n"),
            Lines{"4: the format has 9 %s conversions but order gives 8 values: a conversion without an order value "
                  "takes no parameter and prints empty"});
}

TEST(TableCheck, OrderPastParms) {
  EXPECT_EQ(warnings("entry\nname WinA\nparms 2\norder 0 2 3 2\nformat \"%s%s%s%s\"\n"
                     "entry\nname WinB\nparms 1\norder 1\nformat \"%s\"\n"
                     "entry\nname WinC\nparms 0\norder -1 0\nformat \"%s%s\"\n"
                     "entry\nname WinD\norder 5\nparms -1\nformat \"%s\"\n"),
            (Lines{"4: order values 2 3 are past parms 2: the call is declared to have parameters 0 to 1",
                   "9: order value 1 is past parms 1: the call is declared to have parameter 0 only",
                   "14: order value 0 is past parms 0: the call is declared to have no parameters",
                   "18: order value 5 is past parms -1: the call is declared to have no parameters"}));
}

TEST(TableCheck, CommaAndBlankBetweenConversionsDoublesTheBlank) {
  EXPECT_EQ(warnings("entry\nname WinA\norder 0 1 2\nformat \"A(%s, %s,\\t%-4s)\"\n"),
            (Lines{"4: \"%s, %s\" doubles the blank: a parameter keeps the blank after its comma; write \"%s,%s\"",
                   "4: \"%s,\\t%-4s\" doubles the blank: a parameter keeps the blank after its comma; write "
                   "\"%s,%-4s\""}));
  // Only a parameter after the first brings a blank, and only text that is
  // nothing but the comma and blanks doubles it.
  EXPECT_EQ(warnings("entry\nname WinA\norder 1 0 -1\nformat \"A(%s, %s, %s)\"\n"
                     "entry\nname WinB\norder 0 1 2\nformat \"B(%s,%s, 0, %s) x, %s\"\n"
                     "entry\nname WinC\norder 0 1\nformat \"C(%s%%, %s)\"\n"),
            Lines{"8: the format has 4 %s conversions but order gives 3 values: a conversion without an order value "
                  "takes no parameter and prints empty"});
}

TEST(TableCheck, WarningsComeInLineOrderWhereverTheFieldsStand) {
  EXPECT_EQ(warnings("entry\nformat \"%d\"\ncb 9\nname Win_A\n"
                     "entry\nname Win_A\n"),
            (Lines{"2: \"%d\" in the format is copied as it stands: only %s (with flags, width and precision) and %% "
                   "are converted",
                   "3: cb 9 is longer than the name \"Win_A\" (5 bytes): the entry never matches",
                   "4: name \"Win_A\" never matches: it holds \"_\", and calls are found as runs of the letters and "
                   "digits A-Z a-z 0-9 only",
                   "6: name \"Win_A\" never matches: it holds \"_\", and calls are found as runs of the letters and "
                   "digits A-Z a-z 0-9 only"}));
}

}  // namespace
}  // namespace zaptor
