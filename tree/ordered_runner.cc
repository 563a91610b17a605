#include "tree/ordered_runner.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace zaptor {

namespace {

constexpr std::size_t kAheadPerThread = 8;

bool stopped(const RunnerOptions& options) { return options.stop != nullptr && options.stop->load(); }

}  // namespace

std::size_t run_in_order(std::size_t count, const RunnerOptions& options,
                         const std::function<FileResult(std::size_t)>& work,
                         const std::function<void(std::size_t, FileResult&)>& deliver) {
  std::size_t delivered = 0;
  if (options.jobs <= 1 || count <= 1) {
    for (; delivered < count && !stopped(options); ++delivered) {
      FileResult result = work(delivered);
      deliver(delivered, result);
    }
    return delivered;
  }

  const std::size_t window = kAheadPerThread * options.jobs;
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<std::optional<FileResult>> waiting;  // results from `delivered` on
  std::size_t next = 0;                           // the next file to hand out
  std::exception_ptr failure;                     // the first thrown, thrown on here
  bool quit = false;

  const auto worker = [&] {
    std::unique_lock lock(mutex);
    for (;;) {
      changed.wait(lock, [&] { return quit || stopped(options) || (next < count && next < delivered + window); });
      if (quit || stopped(options) || next >= count) break;
      const std::size_t i = next++;
      lock.unlock();
      std::optional<FileResult> result;
      std::exception_ptr thrown;
      try {
        result = work(i);
      } catch (...) {
        thrown = std::current_exception();
      }
      lock.lock();
      if (thrown) {
        if (!failure) failure = thrown;
        quit = true;
      } else {
        waiting[i - delivered] = std::move(result);
      }
      changed.notify_all();
    }
    changed.notify_all();
  };

  std::vector<std::thread> threads;
  {
    std::unique_lock lock(mutex);
    waiting.resize(std::min(count, window));
  }
  for (unsigned t = 0; t < options.jobs; ++t) threads.emplace_back(worker);
  {
    std::unique_lock lock(mutex);
    while (delivered < count) {
      // A signal sets the stop without telling the condition: look again now and then.
      changed.wait_for(lock, std::chrono::milliseconds(100), [&] {
        return quit || waiting.front().has_value() || (stopped(options) && next == delivered);
      });
      if (!quit && !waiting.front().has_value() && !(stopped(options) && next == delivered)) continue;
      if (quit || !waiting.front().has_value()) break;
      FileResult result = std::move(*waiting.front());
      waiting.pop_front();
      ++delivered;
      if (delivered + waiting.size() < count) waiting.emplace_back();
      changed.notify_all();
      lock.unlock();
      deliver(delivered - 1, result);
      lock.lock();
    }
    quit = true;
    changed.notify_all();
  }
  for (std::thread& t : threads) t.join();
  if (failure) std::rethrow_exception(failure);
  return delivered;
}

}  // namespace zaptor
