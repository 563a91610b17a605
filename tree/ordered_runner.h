// Runs the work on many files in parallel and hands the results on in the
// files' own order, as each one's turn comes.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>

#include "tree/file_job.h"

namespace zaptor {

struct RunnerOptions {
  unsigned jobs = 1;
  // Work stops being handed out once this is set; what has begun ends.
  const std::atomic<bool>* stop = nullptr;
};

// Calls work(i) for i in [0, count), in `jobs` threads, and deliver(i,
// result) in the calling thread for i = 0, 1, ... in order. At most a few
// results per thread wait for their turn, so memory stays in proportion to
// the threads, not to the files. Returns how many were delivered.
std::size_t run_in_order(std::size_t count, const RunnerOptions& options,
                         const std::function<FileResult(std::size_t)>& work,
                         const std::function<void(std::size_t, FileResult&)>& deliver);

}  // namespace zaptor
