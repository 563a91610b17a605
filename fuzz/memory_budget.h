// A ceiling on the memory one run of the engine may take, for inputs whose
// output legitimately grows without a bound that a cheap look at the input
// can foresee (a format that uses a parameter twice, over calls whose
// spans reach into the copies that earlier rewrites made). Past the
// ceiling, operator new throws std::bad_alloc, as it would on a machine out
// of memory; the harness leaves such an input out instead of letting
// libFuzzer report it as a finding.
#pragma once

#include <cstddef>
#include <new>

namespace zaptor_fuzz {

// While alive, allocations through operator new may grow the heap by at
// most `bytes` in all (what is freed is given back).
class MemoryBudget {
 public:
  explicit MemoryBudget(std::size_t bytes);
  ~MemoryBudget();
  MemoryBudget(const MemoryBudget&) = delete;
  MemoryBudget& operator=(const MemoryBudget&) = delete;
};

}  // namespace zaptor_fuzz
