#include "engine/format.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

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

// The conversions as a reader of a format sees them (the table checker):
// what it calls a %s is what CompiledFormat fills, and what it calls
// verbatim the engine writes out unchanged.
TEST(FormatConversions, SplitAsTheEngineSplits) {
  const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
      {"%s-%s", {"s:%s", "s:%s"}},
      {"[%5.1s|%.s|%-05s|%+ #s]", {"s:%5.1s", "s:%.s", "s:%-05s", "s:%+ #s"}},
      {"100%%%s", {"%:%%", "s:%s"}},
      {"%d %n%*s%1$s%ls", {"v:%d", "v:%n", "v:%*s", "v:%1$s", "v:%ls"}},
      {"%5% %99999999999s %s", {"v:%5%", "v:%99999999999s", "s:%s"}},
      {"%.99999999999s%s", {"v:%.99999999999s", "s:%s"}},
      {"end %-", {"v:%-"}},
      {"no conversion", {}},
  };
  const FormatArgs args{"A", "B", "C", "D", "E", "F", "G", "H"};
  for (const auto& [format, expected] : cases) {
    SCOPED_TRACE(format);
    std::vector<std::string> got;
    std::size_t strings = 0;
    for (const FormatConversion& conversion : format_conversions(format)) {
      const char kind = conversion.kind == FormatConversion::kString ? 's' : conversion.kind == FormatConversion::kPercent ? '%' : 'v';
      got.push_back(std::string(1, kind) + ":" + std::string(conversion.text));
      EXPECT_EQ(format.substr(conversion.offset, conversion.text.size()), conversion.text);
      if (conversion.kind == FormatConversion::kString) ++strings;
      if (conversion.kind == FormatConversion::kVerbatim) {
        std::string out;
        format_call(out, format, args);
        EXPECT_NE(out.find(conversion.text), std::string::npos) << out;
      }
    }
    EXPECT_EQ(got, expected);
    EXPECT_EQ(strings, CompiledFormat(format).conversions());
  }
}

}  // namespace
}  // namespace zaptor
