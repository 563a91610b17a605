// Capturing, splitting and rewriting one call.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "engine/engine.h"
#include "engine/line_buffer.h"
#include "engine/rewrite_guard.h"

namespace zaptor {

// Reads the next physical line onto the end of the buffer (echoed to fp_err
// in verbose mode). False at the end of the input.
bool add_buff(LineBuffer& buffer);

// Captures and rewrites the call of entry `index` whose name begins at `pch`.
ScanStep found(LineBuffer& buffer, int index, std::size_t pch);

// Splits the parameter list of a captured call, `call` running from just
// after its "(" through its closing ")". Each parameter is a range of
// `call`. Characters that cannot stand in a parameter list are reported on
// fp_dst as they are met.
void split_parameters(std::string_view call, std::vector<RewriteGuard::Range>& parms);

}  // namespace zaptor
