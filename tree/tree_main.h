#pragma once

#include "engine/diagnostics.h"

namespace zaptor {

// zaptor-tree: arguments (the first word the program's name) and streams;
// returns the exit status.
int tree_main(int argc, char** argv, const ProgramIo& io);

}  // namespace zaptor
