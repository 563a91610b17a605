#include "engine/source_loop.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace zaptor {

SourceResult process_source(LineReader& source, Output* copy_to) {
  EngineState& e = engine();
  LineBuffer buffer;
  for (;;) {
    buffer.clear();
    const std::uint64_t line = source.lines_read() + 1;
    if (!buffer.append_line(source)) return {ScanStatus::ok, line};
    if (e.bVerbose && e.fp_err != nullptr) e.fp_err->write(buffer.work());
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
