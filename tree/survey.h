// What survey and left look for: the functions whose message survey lists,
// the table that finds their calls, and the calls of old API names that a
// conversion leaves.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/table.h"

namespace re2 {
class RE2;
}

namespace zaptor {

struct SurveyFunction {
  std::string name;
  std::string label;  // what a listed line shows for it
  int parameter = 0;  // 0-based: the parameter listed
};

// WinSendMsg (S), WinPostMsg (P) and WinSendDlgItemMsg (D), with their
// message parameters.
std::vector<SurveyFunction> message_functions();

// Parses "NAME:N,..." (N the 1-based parameter, 1 to 8); an empty result
// and `error` set when the list is wrong.
std::vector<SurveyFunction> parse_functions(std::string_view list, std::string& error);

// A table whose entries find the calls of `functions`; survey's events keep
// the calls as they stand, so that calls nested in any parameter are found.
std::shared_ptr<const Table> survey_table(const std::vector<SurveyFunction>& functions);

// The message as listed: white space around it trimmed, every inner run of
// it (newlines too) one blank.
std::string squeeze_blanks(std::string_view text);
void append_squeezed(std::string& out, std::string_view text);

// Names of calls (a C identifier, white space, "(") in the code of `text`,
// outside comments and literals, that `pattern` finds, with their counts.
class LeftCalls {
 public:
  explicit LeftCalls(const re2::RE2& pattern) : pattern_(pattern) {}
  void scan(std::string_view text);
  const std::unordered_map<std::string, std::uint64_t>& counts() const { return counts_; }

 private:
  bool matches(std::string_view name);
  const re2::RE2& pattern_;
  std::unordered_map<std::string, bool> seen_;  // names asked already
  std::unordered_map<std::string, std::uint64_t> counts_;
};

// The default --pattern: names of the old API, "Win" and its kin followed by
// a capital letter.
inline constexpr std::string_view kOldApiPattern = "^(Win|Gpi|Dos|Dev|Prf|Drg)[A-Z]";

}  // namespace zaptor
