#include "engine/events.h"

#include <string_view>

namespace zaptor {

void ReportLines::invalid_character(char c, int times, int /*entry*/, std::uint64_t /*line*/) {
  Output* out = *out_;
  if (out == nullptr) return;
  const char line[] = {'I', 'n', 'v', 'a', 'l', 'i', 'd', ' ', 'c', 'h', 'a', 'r', 'a', 'c', 't', 'e', 'r', ' ', c, '\n'};
  for (int n = 0; n < times; ++n) out->write(std::string_view(line, sizeof line));
}

}  // namespace zaptor
