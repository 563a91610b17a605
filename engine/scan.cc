#include <limits>

#include "engine/call.h"
#include "engine/chartype.h"
#include "engine/engine.h"

namespace zaptor {

std::size_t get_token(const LineBuffer& buffer, std::size_t pch) {
  EngineState& e = engine();
  const std::string_view text = buffer.work();
  const ApiIndex& index = e.index;
  std::size_t start = std::string_view::npos;
  if (pch < text.size() && index.is_first_letter(text[pch])) {
    start = pch;
  } else {
    // Only a word's first character can start a candidate.
    for (std::size_t p = index.next_first_letter(text, pch + 1); p != std::string_view::npos;
         p = index.next_first_letter(text, p + 1)) {
      if (!is_alnum(text[p - 1])) {
        start = p;
        break;
      }
    }
  }
  if (start == std::string_view::npos) return start;
  std::size_t end = start + 1;
  while (end < text.size() && is_alnum(text[end])) ++end;
  constexpr auto kMax = static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());
  e.token_length = static_cast<std::int32_t>(std::min(end - start, kMax));
  return start;
}

ScanStep FindApi(LineBuffer& buffer, std::size_t pch) {
  const EngineState& e = engine();
  const std::string_view text = buffer.work();
  const int index = e.index.find(text.substr(pch, static_cast<std::size_t>(e.token_length)));
  if (index >= 0) {
    std::size_t pos = pch + static_cast<std::size_t>(e.token_length);
    while (pos < text.size() && is_space(text[pos])) ++pos;
    if (pos < text.size() && text[pos] == '(') {
      return found(buffer, index, pch);
    }
  }
  return {ScanStatus::ok, pch + 1};
}

ScanStatus line_scan(LineBuffer& buffer) {
  EngineState& e = engine();
  e.scratch.guard.reset(e.api_num > 0 ? static_cast<std::size_t>(e.api_num) : 0);
  std::size_t pch = get_token(buffer, buffer.head());
  while (pch != std::string_view::npos) {
    const ScanStep result = FindApi(buffer, pch);
    if (result.status != ScanStatus::ok) return result.status;
    pch = get_token(buffer, result.resume);
  }
  return ScanStatus::ok;
}

}  // namespace zaptor
