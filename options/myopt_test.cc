#include "options/myopt.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace zaptor {
namespace {

// One delivered word: what my_getopt returned and what p_optstr held.
struct Got {
  int result;
  std::optional<std::string> arg;  // nullopt: p_optstr was null
  bool operator==(const Got&) const = default;
};

void PrintTo(const Got& g, std::ostream* os) {
  *os << "{" << g.result << ", " << (g.arg ? '"' + *g.arg + '"' : std::string("null")) << "}";
}

// Owns an argument vector as main receives it: argv[0] is the program name
// and argv[argc] is null.
class Args {
 public:
  explicit Args(std::vector<std::string> words) : words_(std::move(words)) {
    words_.insert(words_.begin(), "prog");
    for (std::string& w : words_) argv_.push_back(w.data());
    argv_.push_back(nullptr);
  }
  int argc() const { return static_cast<int>(words_.size()); }
  char** argv() { return argv_.data(); }
  const char* word(int i) const { return argv_[static_cast<std::size_t>(i)]; }

 private:
  std::vector<std::string> words_;
  std::vector<char*> argv_;
};

Got next(Args& args, std::string_view optstring) {
  const int r = my_getopt(args.argc(), args.argv(), optstring);
  return {r, p_optstr ? std::optional<std::string>(p_optstr) : std::nullopt};
}

// Calls my_getopt until it returns 0 and lists what came before the 0.
std::vector<Got> walk(std::vector<std::string> words, std::string_view optstring) {
  my_getopt_reset();
  Args args(std::move(words));
  std::vector<Got> got;
  for (int guard = 0; guard < 100; ++guard) {
    Got g = next(args, optstring);
    if (g.result == 0) {
      EXPECT_EQ(g.arg, std::nullopt) << "p_optstr must be null at the end";
      return got;
    }
    got.push_back(g);
  }
  ADD_FAILURE() << "my_getopt never returned 0";
  return got;
}

constexpr int kOperand = -1;

TEST(MyGetoptOptions, RecognisedLettersAndOperandsInOrder) {
  EXPECT_EQ(walk({"-v", "prog.c", "-d", "out.c"}, "vd"),
            (std::vector<Got>{{'v', std::nullopt}, {kOperand, "prog.c"}, {'d', std::nullopt},
                              {kOperand, "out.c"}}));
}

TEST(MyGetoptOptions, OnlyTheSecondCharacterCounts) {
  // "-vd" is the option v; the d is never looked at.
  EXPECT_EQ(walk({"-vd"}, "vd"), (std::vector<Got>{{'v', std::nullopt}}));
  // Anything after the letter is ignored, even characters not in the string.
  EXPECT_EQ(walk({"-vxyz"}, "v"), (std::vector<Got>{{'v', std::nullopt}}));
}

TEST(MyGetoptOptions, LettersAreCaseSensitiveAndDigitsCount) {
  EXPECT_EQ(walk({"-V", "-v", "-3"}, "v3"),
            (std::vector<Got>{{kOperand, "-V"}, {'v', std::nullopt}, {'3', std::nullopt}}));
}

TEST(MyGetoptOperands, UnknownLetterIsAnOperandPointingAtTheWord) {
  my_getopt_reset();
  Args args({"-x"});
  EXPECT_EQ(my_getopt(args.argc(), args.argv(), "vd"), kOperand);
  // The very word of the argument vector, not a copy.
  EXPECT_EQ(p_optstr, args.word(1));
}

TEST(MyGetoptOperands, DashWordsThatAreNotOptions) {
  // A lone "-", "--" (no end marker) and "-?" are plain operands; so is a
  // second character that is not an ASCII letter or digit, even when the
  // option string holds it.
  EXPECT_EQ(walk({"-", "--", "-?", "-:", "-_", "-v"}, "v?:_"),
            (std::vector<Got>{{kOperand, "-"},
                              {kOperand, "--"},
                              {kOperand, "-?"},
                              {kOperand, "-:"},
                              {kOperand, "-_"},
                              {'v', std::nullopt}}));
}

TEST(MyGetoptOperands, NoEndOfOptionsMarker) {
  // Words after "--" are still options.
  EXPECT_EQ(walk({"--", "-v"}, "v"),
            (std::vector<Got>{{kOperand, "--"}, {'v', std::nullopt}}));
}

TEST(MyGetoptOperands, HighBytesAreNotLetters) {
  // 0xE9 is a letter in Latin-1 locales; the parser must not say so.
  EXPECT_EQ(walk({"-\xE9"}, "\xE9"), (std::vector<Got>{{kOperand, "-\xE9"}}));
}

TEST(MyGetoptOperands, EmptyOptionStringMakesEveryWordAnOperand) {
  EXPECT_EQ(walk({"-v", "a", "-d"}, ""),
            (std::vector<Got>{{kOperand, "-v"}, {kOperand, "a"}, {kOperand, "-d"}}));
}

TEST(MyGetoptOperands, EmptyWordIsAnOperand) {
  EXPECT_EQ(walk({"", "prog.c"}, "vd"),
            (std::vector<Got>{{kOperand, ""}, {kOperand, "prog.c"}}));
}

TEST(MyGetoptArguments, OptionTakesTheNextWord) {
  my_getopt_reset();
  Args args({"-o", "name", "rest"});
  EXPECT_EQ(my_getopt(args.argc(), args.argv(), "o:"), 'o');
  EXPECT_EQ(p_optstr, args.word(2));
  // The index moved past both words: the next call delivers "rest".
  EXPECT_EQ(next(args, "o:"), (Got{kOperand, "rest"}));
  EXPECT_EQ(next(args, "o:"), (Got{0, std::nullopt}));
}

TEST(MyGetoptArguments, OptionStandingLastGetsNoArgument) {
  EXPECT_EQ(walk({"a", "-o"}, "o:"), (std::vector<Got>{{kOperand, "a"}, {'o', std::nullopt}}));
}

TEST(MyGetoptArguments, OptionStandingLastMovesTheIndexByOne) {
  // The index is one past "-o", not two: a later, longer vector (only
  // possible because tests reset nothing in between) resumes at word 2.
  my_getopt_reset();
  Args first({"-o"});
  EXPECT_EQ(next(first, "o:"), (Got{'o', std::nullopt}));
  Args second({"x", "y", "z"});
  EXPECT_EQ(next(second, "o:"), (Got{kOperand, "y"}));
}

TEST(MyGetoptArguments, NextWordIsTakenWhateverItLooksLike) {
  EXPECT_EQ(walk({"-o", "-v", "-v"}, "o:v"),
            (std::vector<Got>{{'o', "-v"}, {'v', std::nullopt}}));
  EXPECT_EQ(walk({"-o", ""}, "o:"), (std::vector<Got>{{'o', ""}}));
}

TEST(MyGetoptArguments, ColonBelongsOnlyToTheLetterBeforeIt) {
  // v comes before the ':' of o, so it takes no argument.
  EXPECT_EQ(walk({"-v", "x", "-o", "y"}, "vo:"),
            (std::vector<Got>{{'v', std::nullopt}, {kOperand, "x"}, {'o', "y"}}));
  // A ':' at the very start marks no letter.
  EXPECT_EQ(walk({"-v", "x"}, ":v"), (std::vector<Got>{{'v', std::nullopt}, {kOperand, "x"}}));
}

TEST(MyGetoptEnd, EveryCallAfterTheLastWordReturnsZero) {
  my_getopt_reset();
  Args args({"a"});
  EXPECT_EQ(next(args, "vd"), (Got{kOperand, "a"}));
  for (int i = 0; i < 3; ++i) EXPECT_EQ(next(args, "vd"), (Got{0, std::nullopt}));
}

TEST(MyGetoptEnd, NoWordsAtAll) {
  EXPECT_EQ(walk({}, "vd"), std::vector<Got>{});
}

TEST(MyGetoptEnd, NullIsClearedByEveryCall) {
  my_getopt_reset();
  Args args({"file", "-v"});
  EXPECT_EQ(next(args, "v"), (Got{kOperand, "file"}));
  // An option without argument leaves p_optstr null, not the last operand.
  EXPECT_EQ(next(args, "v"), (Got{'v', std::nullopt}));
}

TEST(MyGetoptEnd, IndexIsNeverResetByTheParserItself) {
  // A second walk over a shorter vector continues at the old index: the
  // parser walks one argument vector per process.
  my_getopt_reset();
  Args first({"a", "b", "c"});
  EXPECT_EQ(next(first, ""), (Got{kOperand, "a"}));
  EXPECT_EQ(next(first, ""), (Got{kOperand, "b"}));
  Args second({"x", "y"});
  EXPECT_EQ(next(second, ""), (Got{0, std::nullopt}));
}

}  // namespace
}  // namespace zaptor
