// The loop each program runs over its source, and the reporting of what can
// go wrong with its streams.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "engine/engine.h"

namespace zaptor {

struct SourceResult {
  ScanStatus status;   // endless_rewrite stops the loop
  std::uint64_t line;  // the physical line whose scan stopped it
};

// Reads `source` line by line and scans each line; after each scan the whole
// buffer is written to `copy_to` (when given). With engine().bVerbose every
// line read is echoed to engine().fp_err. Stops early when `copy_to` or
// engine().fp_dst has failed.
SourceResult process_source(LineReader& source, Output* copy_to);

// Messages on the standard error, prefixed with the program's name.
void report_error(std::string_view program, std::string_view what);
void report_errno(std::string_view program, std::string_view what, int error);

// Runs a program's body: whatever fails, the run ends with a message and
// exit status 1 (out of memory included), never with an abort, and what
// the body holds is released on the way.
int run_reporting_failures(std::string_view program, const std::function<int()>& run);

}  // namespace zaptor
