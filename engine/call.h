// Capturing, splitting and rewriting one call.
#pragma once

#include <cstddef>

#include "engine/engine.h"
#include "engine/line_buffer.h"

namespace zaptor {

// Reads the next physical line onto the end of the buffer's source (echoed
// to fp_err in verbose mode): the offset where it begins, or npos at the
// end of the input.
std::size_t add_buff(LineBuffer& buffer);

// Captures and rewrites the call of entry `index` whose name stands on top
// of the buffer's rest.
Step found(LineBuffer& buffer, int index);

}  // namespace zaptor
