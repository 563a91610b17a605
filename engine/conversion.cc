#include <utility>

#include "engine/engine.h"

namespace zaptor {

std::string growth_stop_reason() {
  return "the rewrites of this line write more than " + std::to_string(kGrowthRatio) + " times its length (and over " +
         std::to_string(kGrowthFloor >> 20) + " MiB): a format that keeps re-creating its call, or output out of all proportion";
}

Conversion::Conversion(std::shared_ptr<const Table> table) : table_(std::move(table)) {}

}  // namespace zaptor
