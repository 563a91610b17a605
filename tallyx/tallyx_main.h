// The tallyx program, to run in a process of its own or in a test's.
#pragma once

#include "engine/diagnostics.h"

namespace zaptor {

// Lists the messages of the source the arguments name; the exit status.
// The first word of argv is the program's name.
int tallyx_main(int argc, char** argv, const ProgramIo& io);

}  // namespace zaptor
