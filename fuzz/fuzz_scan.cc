// The line scan over arbitrary bytes with tallyx's three built-in entries.
//
// The input is the source, bytes with an explicit length (NUL and bytes
// above 0x7F included). What fp_dst receives is exactly what tallyx prints.
// Checked on every input: the fast path of the source loop and a plain
// line-by-line scan agree byte for byte (one input in eight read through a
// stream whose 256 KB chunk ends inside it); the verbose echo is the input; the
// table's formats write little and re-create no call, so no line passes its
// budget; a source without any of the three names is left untouched; and
// the engine works in proportion to its input and output.
// Inputs of deeply nested calls beyond a budget are left out (see
// capture_work in harness_support.h).
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "engine/engine.h"
#include "harness_support.h"
#include "tallyx/tallyx_table.h"

namespace {


const std::vector<std::string_view> kNames = {"WinSendMsg", "WinPostMsg", "WinSendDlgItemMsg"};

bool names_a_call(std::string_view source) {
  for (std::string_view name : kNames) {
    if (source.find(name) != std::string_view::npos) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view source(reinterpret_cast<const char*>(data), size);
  if (!zaptor_fuzz::captures_within_budget(zaptor_fuzz::capture_work(source, kNames), source.size())) {
    return zaptor_fuzz::skip("deeply nested calls");
  }
  // Kept from one input to the next, with their memory.
  static zaptor_fuzz::Run fast;
  static zaptor_fuzz::Run plain;
  const zaptor_fuzz::Setup tallyx{zaptor::init_dat(0), true};
  zaptor_fuzz::run_loop(fast, tallyx, source, zaptor_fuzz::chunk_boundary(source));
  zaptor_fuzz::check_work(source, fast);
  // tallyx's formats re-create no call: only reports printed at every level
  // of deep nesting can pass a line's budget.
  zaptor_fuzz::check(fast.status != zaptor::ScanStatus::endless_rewrite || fast.written > zaptor_fuzz::kGrowthFloor,
                     "a line stopped below its budget with tallyx's table");
  if (!zaptor_fuzz::plain_within_budget(fast)) return zaptor_fuzz::skip("the plain scan would take too long");
  zaptor_fuzz::run_by_line(plain, tallyx, source);
  zaptor_fuzz::check_runs(source, fast, plain);
  if (!names_a_call(source)) zaptor_fuzz::check_untouched(source, fast);
  return 0;
}
