// The walk over one call: from its "(" to the matching ")", reading further
// lines while the call is not finished, splitting its parameters at the
// commas of depth 1 and noting the characters the split reports, in one
// pass over the pieces of the line.
#pragma once

#include "engine/engine.h"
#include "engine/line_buffer.h"

namespace zaptor {

enum class WalkEnd {
  closed,  // scratch.bounds holds "(", the commas of depth 1 and ")"
  open,    // the input ends first: the call's pieces are back on the rest
};

// Walks the call whose name stands on top of the rest, `name_length` bytes
// long. Its pieces, name included, go to the conversion's scratch.call.
WalkEnd walk_call(Conversion& conversion, LineBuffer& buffer, std::size_t name_length);

// Puts the pieces of the call just walked back on the rest, as they stood.
void put_back(LineBuffer& buffer, CallScratch& scratch);

}  // namespace zaptor
