#pragma once

#include <memory>

#include "engine/table.h"

namespace zaptor {

// The table of the three message-sending functions. `bDump` is not used.
std::shared_ptr<const Table> init_dat(int bDump);

}  // namespace zaptor
