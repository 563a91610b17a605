// The standard descriptors of a program, made safe before any file is opened.
#pragma once

namespace zaptor {

// A program started with a standard descriptor closed would hand that
// number to the next file it opens, and its messages or echo would land in
// that file. Closed standard input and error are taken by /dev/null; false
// when the standard output is closed, which the caller reports as a failure.
bool claim_standard_streams();

}  // namespace zaptor
