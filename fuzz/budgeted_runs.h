// The two runs of a scan harness whose tables may grow the output, each
// under a ceiling on its memory (memory_budget.h), and their comparison.
#pragma once

#include <cstddef>
#include <new>
#include <string_view>

#include "harness_support.h"
#include "memory_budget.h"

namespace zaptor_fuzz {

// Runs the programs' loop under `fast_ceiling` (outgrowing it is a finding,
// unless `fast_may_outgrow`: the estimate of the output fell short) and,
// when it can be afforded, the plain scan under `plain_ceiling`; then checks
// the work and the runs. False when the input was left out.
inline bool compare_budgeted_runs(std::string_view source, const Setup& setup, std::size_t fast_ceiling,
                                  std::size_t plain_ceiling, bool fast_may_outgrow, Run& fast, Run& plain) {
  // The engine stops a line whose rewrites write past its budget, so its
  // own run stays under the ceiling; the plain scan, with no short cuts,
  // may not, and is left out then.
  try {
    const MemoryBudget budget(fast_ceiling);
    run_loop(fast, setup, source, chunk_boundary(source));
  } catch (const std::bad_alloc&) {
    if (!fast_may_outgrow) fail("the engine outgrew the memory ceiling");
    skip("the output outgrew the memory budget");
    return false;
  }
  check_work(source, fast);
  if (!plain_within_budget(fast)) {
    skip("the plain scan would take too long");
    return false;
  }
  try {
    const MemoryBudget budget(plain_ceiling);
    run_by_line(plain, setup, source);
  } catch (const std::bad_alloc&) {
    skip("the plain scan outgrew its memory budget");
    return false;
  }
  check_runs(source, fast, plain);
  return true;
}

}  // namespace zaptor_fuzz
