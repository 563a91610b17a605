#include <limits>

#include "engine/bytes.h"
#include "engine/call.h"
#include "engine/chartype.h"
#include "engine/engine.h"

namespace zaptor {

// A call's name is followed by "(" after white space, so each "(" is looked
// back from: finding the "(" goes sixteen bytes at a time, and most of them
// are rejected by the byte before.
std::size_t get_token(const LineBuffer& buffer, std::size_t pch) {
  EngineState& e = engine();
  const std::string_view text = buffer.work();
  ByteFinder opens(text, pch, '(');
  for (std::size_t open = opens.next(); open != std::string_view::npos; open = opens.next()) {
    if (const auto call = e.index.call_before(text, open, pch, false)) {
      constexpr auto kMax = static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());
      e.token_length = static_cast<std::int32_t>(std::min(call->length, kMax));
      e.token_entry = call->entry;
      return call->pch;
    }
  }
  return std::string_view::npos;
}

ScanStep FindApi(LineBuffer& buffer, std::size_t pch) {
  const EngineState& e = engine();
  const std::string_view text = buffer.work();
  const int index = e.token_entry;
  if (index >= 0) {
    std::size_t pos = pch + static_cast<std::size_t>(e.token_length);
    while (pos < text.size() && is_space(text[pos])) ++pos;
    if (pos < text.size() && text[pos] == '(') {
      return found(buffer, index, pch);
    }
  }
  return {ScanStatus::ok, pch + 1};
}

ScanStatus line_scan(LineBuffer& buffer, std::optional<ApiIndex::Call> first) {
  EngineState& e = engine();
  e.scratch.guard.reset(e.api_num > 0 ? static_cast<std::size_t>(e.api_num) : 0);
  std::size_t pch = std::string_view::npos;
  if (first) {
    pch = first->pch;
    e.token_length = static_cast<std::int32_t>(first->length);
    e.token_entry = first->entry;
  } else {
    pch = get_token(buffer, buffer.head());
  }
  while (pch != std::string_view::npos) {
    const ScanStep result = FindApi(buffer, pch);
    if (result.status != ScanStatus::ok) return result.status;
    pch = get_token(buffer, result.resume);
  }
  return ScanStatus::ok;
}

}  // namespace zaptor
