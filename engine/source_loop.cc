#include "engine/source_loop.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "engine/chartype.h"

namespace zaptor {

namespace {

// The next byte at or after `pos` that is a first letter.
std::size_t next_first_letter(std::string_view data, std::size_t pos, const ApiIndex& index,
                              char only_letter) {
  if (only_letter != 0) return data.find(only_letter, pos);
  for (; pos < data.size(); ++pos) {
    if (index.is_first_letter(data[pos])) return pos;
  }
  return std::string_view::npos;
}

// Whether the candidate word `word`, followed by `after`, starts a call that
// the scan of its line would rewrite; nullopt when its line is not complete
// in the data, so that only the full scan can tell.
std::optional<bool> starts_call(std::string_view word, std::string_view after, const ApiIndex& index) {
  if (after.empty()) return std::nullopt;
  if (index.find(word) < 0) return false;
  for (char c : after) {
    if (c == '(') return true;
    // The line's own newline ends the text the scan looks at.
    if (!is_space(c) || c == '\n') return false;
  }
  return std::nullopt;
}

// The start of the first line of `data` (which begins a line) that may hold
// a call, or npos when none of its complete lines does. A line that is not
// complete in the data counts as one that may.
std::size_t find_call_line(std::string_view data, const ApiIndex& index, char only_letter) {
  std::size_t pos = 0;
  for (;;) {
    const std::size_t p = next_first_letter(data, pos, index, only_letter);
    if (p == std::string_view::npos) return p;
    if (p > 0 && is_alnum(data[p - 1])) {
      pos = p + 1;
      continue;
    }
    std::size_t end = p + 1;
    while (end < data.size() && is_alnum(data[end])) ++end;
    // A word that matched nothing is looked at again from its next letter,
    // while that is a first letter too.
    for (std::size_t q = p; q < end && index.is_first_letter(data[q]); ++q) {
      const auto call = starts_call(data.substr(q, end - q), data.substr(end), index);
      if (!call || *call) {
        const std::size_t newline = data.rfind('\n', p);
        return newline == std::string_view::npos ? 0 : newline + 1;
      }
    }
    pos = end;
  }
}

char single_first_letter(const EngineState& e) {
  char only = 0;
  for (char c : e.chFirstBuf) {
    if (!e.index.is_first_letter(c) || c == only) continue;
    if (only != 0) return 0;
    only = c;
  }
  return only;
}

}  // namespace

SourceResult process_source(LineReader& source, Output* copy_to) {
  EngineState& e = engine();
  Output* echo = e.bVerbose ? e.fp_err : nullptr;
  const char only_letter = single_first_letter(e);
  LineBuffer buffer;
  for (;;) {
    // Lines without a call pass straight through.
    const std::string_view data = source.peek();
    if (data.empty()) return {ScanStatus::ok, source.lines_read() + 1};
    std::size_t plain = find_call_line(data, e.index, only_letter);
    if (plain == std::string_view::npos) {
      const std::size_t last_newline = data.rfind('\n');
      plain = last_newline == std::string_view::npos ? 0 : last_newline + 1;
    }
    if (plain > 0) {
      const std::string_view through = data.substr(0, plain);
      if (echo != nullptr) echo->write(through);
      if (copy_to != nullptr) copy_to->write(through);
      source.consume(plain);
      continue;
    }

    buffer.clear();
    const std::uint64_t line = source.lines_read() + 1;
    if (!buffer.append_line(source)) return {ScanStatus::ok, line};
    if (echo != nullptr) echo->write(buffer.work());
    const ScanStatus status = line_scan(buffer);
    if (status == ScanStatus::endless_rewrite) return {status, line};
    if (copy_to != nullptr) {
      copy_to->write(buffer.finished());
      copy_to->write(buffer.rest());
    }
  }
}

void report_error(std::string_view program, std::string_view what) {
  std::string message(program);
  message.append(": ").append(what).append("\n");
  std::fwrite(message.data(), 1, message.size(), stderr);
}

void report_errno(std::string_view program, std::string_view what, int error) {
  std::string message(what);
  message.append(": ").append(std::strerror(error));
  report_error(program, message);
}

}  // namespace zaptor
