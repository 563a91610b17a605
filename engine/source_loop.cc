#include "engine/source_loop.h"

#include <bit>
#include <cstdio>
#include <cstring>
#include <string>

#include "engine/bytes.h"

namespace zaptor {

namespace {

// The first line of `data` (which begins a line) that holds a call: where
// it starts and its first call, or nullopt when no line does. A call's name and its "(" stand on the same
// line, so looking back from each "(" finds them all. The blocks that are
// searched for "(" also tell where the lines start.
struct CallLine {
  std::size_t start;
  ApiIndex::Call first;  // in the line
};
std::optional<CallLine> find_call_line(std::string_view data, const ApiIndex& index) {
  std::size_t line_start = 0;
  for (std::size_t block = 0; block < data.size(); block += kBlockBytes) {
    const std::uint32_t newlines = byte_mask(data, block, '\n');
    for (std::uint32_t opens = byte_mask(data, block, '('); opens != 0; opens &= opens - 1) {
      const int bit = std::countr_zero(opens);
      if (const auto call = index.call_before(data, block + static_cast<std::size_t>(bit), 0, true)) {
        const std::uint32_t before = newlines & ((std::uint32_t{1} << bit) - 1);
        const std::size_t start =
            before == 0 ? line_start : block + static_cast<std::size_t>(32 - std::countl_zero(before));
        return CallLine{start, {call->pch - start, call->length, call->entry}};
      }
    }
    if (newlines != 0) line_start = block + static_cast<std::size_t>(32 - std::countl_zero(newlines));
  }
  return std::nullopt;
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
    const std::optional<CallLine> call_line = find_call_line(data, e.index);
    std::size_t plain = 0;
    if (call_line) {
      plain = call_line->start;
    } else {
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
    if (echo != nullptr) echo->write(buffer.source());
    std::optional<ApiIndex::Call> first;
    if (call_line) first = call_line->first;
    const ScanStatus status = line_scan(buffer, first);
    if (status == ScanStatus::endless_rewrite) return {status, line};
    if (copy_to != nullptr) buffer.write_to(*copy_to);
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
