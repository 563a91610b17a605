#include "engine/format.h"

#include <gtest/gtest.h>

namespace zaptor {
namespace {

std::string formatted(std::string_view format, const FormatArgs& args) {
  std::string out;
  format_call(out, format, args);
  return out;
}

const FormatArgs kAB{"ab", "xyz"};

TEST(Format, StringConversionsAsPrintfWritesThem) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"%s-%s", "ab-xyz"},       {"[%5s]", "[   ab]"},     {"[%-5s]", "[ab   ]"},
      {"[%.1s]", "[a]"},         {"[%5.1s]", "[    a]"},   {"[%.s]", "[]"},
      {"[%05s]", "[   ab]"},     {"[%+ #s]", "[ab]"},      {"[%-05s|]", "[ab   |]"},
      {"100%%", "100%"},         {"%s%%%s", "ab%xyz"},     {"no conversion", "no conversion"},
      {"line\n%s\n", "line\nab\n"},
  };
  for (const auto& [format, out] : cases) EXPECT_EQ(formatted(format, kAB), out) << format;
}

TEST(Format, NullAndMissingArgumentsAreEmpty) {
  FormatArgs args{"a", std::nullopt, "c"};
  EXPECT_EQ(formatted("<%s|%s|%s>", args), "<a||c>");
  EXPECT_EQ(formatted("<%3s>", args), "<  a>");
  const FormatArgs eight{"0", "1", "2", "3", "4", "5", "6", "7"};
  EXPECT_EQ(formatted("%s%s%s%s%s%s%s%s%s|%4s|", eight), "01234567|    |");
}

TEST(Format, OtherConversionsAreCopiedAsTheyStand) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"%d %s", "%d ab"},    {"%n%s", "%nab"},     {"%*s|%s", "%*s|ab"},
      {"%1$s %s", "%1$s ab"}, {"%ls %s", "%ls ab"}, {"end %", "end %"},
      {"end %-", "end %-"},  {"%5% %s", "%5% ab"}, {"%99999999999s|%s", "%99999999999s|ab"},
  };
  for (const auto& [format, out] : cases) EXPECT_EQ(formatted(format, kAB), out) << format;
}

TEST(Format, PiecesTellWhereEveryByteCameFrom) {
  std::string out;
  std::vector<FormatPiece> pieces;
  format_call(out, "S %3s\n%.2s", FormatArgs{"a", "xyz"}, &pieces);
  EXPECT_EQ(out, "S   a\nxy");
  ASSERT_EQ(pieces.size(), 5u);
  EXPECT_EQ(pieces[0].arg, kFormatText);
  EXPECT_EQ(pieces[0].text, "S ");
  EXPECT_EQ(pieces[1].arg, kBlanks);  // the padding of "%3s"
  EXPECT_EQ(pieces[1].length, 2u);
  EXPECT_EQ(pieces[2].arg, 0);
  EXPECT_EQ(pieces[3].text, "\n");
  EXPECT_EQ(pieces[4].arg, 1);
  EXPECT_EQ(pieces[4].length, 2u);  // cut by the precision
}

}  // namespace
}  // namespace zaptor
