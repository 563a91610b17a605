#include "engine/source_loop.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "engine/bytes.h"

namespace zaptor {

namespace {

// The start of the first line of `data` (which begins a line) that holds a
// call, or npos when none does. A call's name and its "(" stand on the same
// line, so looking back from each "(" finds them all.
std::size_t find_call_line(std::string_view data, const ApiIndex& index) {
  ByteFinder opens(data, 0, '(');
  for (std::size_t open = opens.next(); open != std::string_view::npos; open = opens.next()) {
    if (index.call_before(data, open, 0, true)) {
      const std::size_t newline = data.rfind('\n', open);
      return newline == std::string_view::npos ? 0 : newline + 1;
    }
  }
  return std::string_view::npos;
}

}  // namespace

SourceResult process_source(LineReader& source, Output* copy_to) {
  EngineState& e = engine();
  Output* echo = e.bVerbose ? e.fp_err : nullptr;
  LineBuffer buffer(copy_to != nullptr);
  for (;;) {
    // Lines without a call pass straight through.
    const std::string_view data = source.peek();
    if (data.empty()) return {ScanStatus::ok, source.lines_read() + 1};
    std::size_t plain = find_call_line(data, e.index);
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
