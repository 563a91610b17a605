#include "engine/engine.h"

namespace zaptor {

EngineState& engine() {
  // Never destroyed: the table lives until the process ends, and a large
  // one costs nothing to take down.
  static EngineState& state = *new EngineState;
  return state;
}

void reset_engine() { engine() = EngineState{}; }

void index_table() {
  EngineState& e = engine();
  e.index.build(e.apilist, e.api_num, e.chFirstBuf);
  e.formats.clear();
  e.formats.resize(e.apilist.size());
}

const CompiledFormat* EngineState::format(std::size_t entry) {
  const _apitype& e = apilist[entry];
  if (!e.pchformat) return nullptr;
  if (!formats[entry]) formats[entry] = std::make_unique<CompiledFormat>(*e.pchformat);
  return formats[entry].get();
}

}  // namespace zaptor
