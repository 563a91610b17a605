#include "tree/survey.h"

#include <re2/re2.h>

#include "engine/chartype.h"
#include "engine/lexer.h"

namespace zaptor {

std::vector<SurveyFunction> message_functions() {
  return {{"WinSendMsg", "S", 1}, {"WinPostMsg", "P", 1}, {"WinSendDlgItemMsg", "D", 2}};
}

std::vector<SurveyFunction> parse_functions(std::string_view list, std::string& error) {
  std::vector<SurveyFunction> functions;
  while (!list.empty()) {
    const std::size_t comma = list.find(',');
    const std::string_view item = list.substr(0, comma);
    list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
    const std::size_t colon = item.find(':');
    const std::string_view name = item.substr(0, colon);
    const std::string_view number = colon == std::string_view::npos ? std::string_view() : item.substr(colon + 1);
    bool name_ok = !name.empty();
    for (char c : name) name_ok = name_ok && is_alnum(c);
    if (!name_ok || number.size() != 1 || number[0] < '1' || number[0] > '8') {
      error = "--functions takes NAME:N,... (NAME letters and digits, N the parameter from 1 to 8), not \"" +
              std::string(item) + "\"";
      return {};
    }
    functions.push_back({std::string(name), std::string(name), number[0] - '1'});
  }
  if (functions.empty()) error = "--functions names no function";
  return functions;
}

std::shared_ptr<const Table> survey_table(const std::vector<SurveyFunction>& functions) {
  std::vector<_apitype> entries;
  for (const SurveyFunction& f : functions) {
    _apitype e;
    e.pchName = f.name;
    e.cb = static_cast<std::int32_t>(f.name.size());
    entries.push_back(std::move(e));
  }
  return make_table(std::move(entries));
}

void append_squeezed(std::string& out, std::string_view text) {
  bool first = true;
  for (std::size_t i = 0; i < text.size();) {
    if (is_space(text[i])) {
      ++i;
      continue;
    }
    std::size_t end = i + 1;
    while (end < text.size() && !is_space(text[end])) ++end;
    if (!first) out.push_back(' ');
    out.append(text.substr(i, end - i));
    first = false;
    i = end;
  }
}

std::string squeeze_blanks(std::string_view text) {
  std::string out;
  append_squeezed(out, text);
  return out;
}

namespace {
bool is_identifier(char c) { return is_alnum(c) || c == '_'; }
}  // namespace

bool LeftCalls::matches(std::string_view name) {
  const std::string key(name);
  const auto it = seen_.find(key);
  if (it != seen_.end()) return it->second;
  const bool found = re2::RE2::PartialMatch(re2::StringPiece(name.data(), name.size()), pattern_);
  seen_.emplace(key, found);
  return found;
}

void LeftCalls::scan(std::string_view text) {
  Lex state = Lex::code;
  for (std::size_t i = 0; i < text.size();) {
    const char c = text[i];
    if (!in_code(state)) {
      state = skip_step(state, c);
      ++i;
      continue;
    }
    if (state == Lex::code_slash) {
      state = c == '*' ? Lex::block : c == '/' ? Lex::line : Lex::code;
      if (state != Lex::code) {
        ++i;
        continue;
      }
    }
    if (c == '"' || c == '\'') {
      state = c == '"' ? Lex::dq : Lex::sq;
      ++i;
      continue;
    }
    if (c == '/') {
      state = Lex::code_slash;
      ++i;
      continue;
    }
    if (!is_identifier(c)) {
      ++i;
      continue;
    }
    const std::size_t start = i;
    while (i < text.size() && is_identifier(text[i])) ++i;
    if (text[start] >= '0' && text[start] <= '9') continue;  // a number, not a name
    std::size_t j = i;
    while (j < text.size() && is_space(text[j])) ++j;
    if (j < text.size() && text[j] == '(' && matches(text.substr(start, i - start))) {
      ++counts_[std::string(text.substr(start, i - start))];
    }
  }
}

}  // namespace zaptor
