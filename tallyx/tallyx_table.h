#pragma once

namespace zaptor {

// Fills the engine's table with the three message-sending functions.
// `bDump` is not used.
void init_dat(int bDump);

}  // namespace zaptor
