// Capturing, splitting and rewriting one call.
#pragma once

#include <cstddef>

#include "engine/engine.h"
#include "engine/line_buffer.h"

namespace zaptor {

// Reads the next physical line onto the end of the buffer (echoed to fp_err
// in verbose mode). False at the end of the input.
bool add_buff(LineBuffer& buffer);

// Captures and rewrites the call of entry `index` whose name begins at `pch`.
ScanStep found(LineBuffer& buffer, int index, std::size_t pch);

}  // namespace zaptor
