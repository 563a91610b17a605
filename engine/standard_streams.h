// The standard descriptors of a program, made safe before any file is opened.
#pragma once

#include <string_view>

#include "engine/diagnostics.h"

namespace zaptor {

// A program started with a standard descriptor closed would hand that
// number to the next file it opens, and its messages or echo would land in
// that file. Closed standard input and error are taken by /dev/null; false
// when the standard output is closed, which the caller reports as a failure.
bool claim_standard_streams();

// A program's main: claims the standard streams (a closed standard output
// is a failure), runs `body` on them, and reports a failed close of the
// standard output, its last chance to fail, as "cannot write `output`".
int run_on_standard_streams(std::string_view program, std::string_view output, ProgramMain body, int argc,
                            char** argv);

}  // namespace zaptor
