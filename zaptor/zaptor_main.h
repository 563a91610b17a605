// The zaptor program, to run in a process of its own or in a test's.
#pragma once

#include "engine/diagnostics.h"

namespace zaptor {

// Converts the source the arguments name with the zaptor.bin of the current
// directory, or dumps it; the exit status. The first word of argv is the
// program's name.
int zaptor_main(int argc, char** argv, const ProgramIo& io);

}  // namespace zaptor
