#include <utility>

#include "engine/engine.h"

namespace zaptor {

Conversion::Conversion(std::shared_ptr<const Table> table) : table_(std::move(table)) {}

}  // namespace zaptor
