// What the scan harnesses share: two ways of running the engine over a
// source, so that each run can be checked against the other, and the report
// of a broken invariant.
//
// run_loop() is the programs' own loop, process_source(), with its fast path
// for lines without a call and the engine's short cuts, reading from memory
// or now and then through a stdio stream whose chunks end inside the source.
// run_by_line() is the plain algorithm: every physical line read into the
// line buffer and scanned, the short cuts off. Both must give the same bytes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/chartype.h"
#include "engine/engine.h"
#include "engine/table.h"

namespace zaptor_fuzz {

// Ends the run as a finding; libFuzzer keeps the input that caused it.
[[noreturn]] inline void fail(const char* what) {
  std::fprintf(stderr, "\n*** invariant broken: %s\n", what);
  std::fflush(stderr);
  std::abort();
}

inline void check(bool ok, const char* what) {
  if (!ok) fail(what);
}

// Where two texts first differ, for the report.
inline void check_same(std::string_view got, std::string_view want, const char* what) {
  if (got == want) return;
  std::size_t at = 0;
  while (at < got.size() && at < want.size() && got[at] == want[at]) ++at;
  std::fprintf(stderr, "\n%s: lengths %zu and %zu, first difference at byte %zu\n", what, got.size(),
               want.size(), at);
  fail(what);
}

// Lines' rewrites may write this much before they are stopped in the
// harnesses: enough for every legitimate shape of a fuzzed input, and a
// bound on what the plain scan, with no short cuts, does until then.
inline constexpr std::size_t kGrowthFloor = std::size_t{1} << 16;

struct Run {
  std::string printed;  // fp_dst: "Invalid character" reports and echoed replacements
  std::string copy;     // the buffers written after their scans (copy_to)
  std::string echo;     // fp_err: the verbose echo of every line read
  zaptor::ScanStatus status = zaptor::ScanStatus::ok;
  std::uint64_t line = 0;
  std::uint64_t work = 0;     // the conversion's counts after the run
  std::uint64_t written = 0;
  std::uint64_t passed = 0;
  std::size_t padding = 0;    // bytes read ahead of the source (see run_loop), out of the results

  // Empties the run for the next input but keeps the strings' memory up to
  // 16 MB: blocks past 128 KB are mapped afresh by AddressSanitizer on
  // every allocation, and faulting their pages in took more than half of
  // each execution's time.
  void clear() {
    for (std::string* text : {&printed, &copy, &echo}) {
      text->clear();
      if (text->capacity() > kKept) std::string().swap(*text);
    }
    status = zaptor::ScanStatus::ok;
    line = 0;
    work = written = passed = 0;
    padding = 0;
  }

 private:
  static constexpr std::size_t kKept = std::size_t{1} << 24;
};

// What a harness converts with: a table and the flags of its conversions.
struct Setup {
  std::shared_ptr<const zaptor::Table> table;
  bool echo_formatted = false;  // bEchoFormatted, as tallyx sets it
};

// A conversion of the setup whose streams are the run's strings, verbose.
class RunConversion {
 public:
  RunConversion(const Setup& setup, Run& run, zaptor::LineReader& reader)
      : conversion_(setup.table), printed_(run.printed), copy_(run.copy), echo_(run.echo) {
    conversion_.bEchoFormatted = setup.echo_formatted;
    conversion_.growth_floor = kGrowthFloor;
    conversion_.bVerbose = true;
    conversion_.fp_src = &reader;
    conversion_.fp_dst = &printed_;
    conversion_.fp_err = &echo_;
  }
  zaptor::Conversion& conversion() { return conversion_; }
  zaptor::Output& copy() { return copy_; }
  zaptor::Output& echo() { return echo_; }

 private:
  zaptor::Conversion conversion_;
  zaptor::Output printed_;
  zaptor::Output copy_;
  zaptor::Output echo_;
};

struct CloseFile {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// LineReader reads a stream 256 KB at a time.
inline constexpr std::size_t kReadChunk = std::size_t{1} << 18;

// Where the first chunk of a stream read ends within `source`, for one input
// in eight (chosen by its length); nullopt: the source is read from memory.
inline std::optional<std::size_t> chunk_boundary(std::string_view source) {
  if (source.empty() || source.size() % 8 != 0) return std::nullopt;
  return (source.size() * 37 + 11) % (source.size() + 1);
}

// The programs' loop over `source`, with its fast path for lines without a
// call. Read from memory (explicit length), or, given a `boundary`, through
// a stdio stream that first holds one line of blanks, so long that the
// reader's first chunk ends `boundary` bytes into the source: names, calls
// and lines cut by a chunk boundary. The padding line is taken off the
// results again.
inline void run_loop(Run& run, const Setup& setup, std::string_view source,
                     std::optional<std::size_t> boundary = std::nullopt) {
  run.clear();
  static std::string padding;
  static std::string bytes;
  // Closed however the run ends: the table harness's memory ceiling may
  // end it with std::bad_alloc.
  std::unique_ptr<std::FILE, CloseFile> stream;
  if (boundary) {
    padding.assign(kReadChunk - *boundary, ' ');
    padding.back() = '\n';
    bytes = padding;
    bytes.append(source);
    stream.reset(::fmemopen(bytes.data(), bytes.size(), "rb"));
    check(stream != nullptr, "fmemopen failed");
  }
  {
    zaptor::LineReader file_reader(stream.get());
    zaptor::LineReader memory_reader(source);
    zaptor::LineReader& reader = stream != nullptr ? file_reader : memory_reader;
    RunConversion runs(setup, run, reader);
    zaptor::Conversion& c = runs.conversion();
    const zaptor::SourceResult result = c.process_source(reader, &runs.copy());
    check(!reader.failed(), "read error on a memory stream");
    run.status = result.status;
    run.line = result.line;
    run.work = c.work;
    run.written = c.written;
    run.passed = c.passed;
  }
  if (stream != nullptr) {
    stream.reset();
    check(run.copy.starts_with(padding) && run.echo.starts_with(padding), "the padding line changed");
    check(run.line > 1, "stopped in the padding line");
    run.copy.erase(0, padding.size());
    run.echo.erase(0, padding.size());
    run.line -= 1;
    run.padding = padding.size();
  }
}

// The plain algorithm: every physical line read into the line buffer and
// scanned on its own, from memory, with the engine's short cuts off.
inline void run_by_line(Run& run, const Setup& setup, std::string_view source) {
  run.clear();
  zaptor::LineReader reader(source);
  RunConversion runs(setup, run, reader);
  zaptor::Conversion& c = runs.conversion();
  c.short_cuts = {false, false, false};
  zaptor::LineBuffer buffer;
  for (;;) {
    buffer.clear();
    run.line = reader.lines_read() + 1;
    if (!buffer.append_line(reader)) break;
    runs.echo().write(buffer.source());
    // A call left open leaves its text as written and the loop goes on; only
    // a line whose rewrites pass their budget stops it.
    c.buffer_line = run.line;
    if (c.line_scan(buffer) == zaptor::ScanStatus::endless_rewrite) {
      run.status = zaptor::ScanStatus::endless_rewrite;
      break;
    }
    buffer.write_to(runs.copy());
  }
}

// Roughly how many bytes the captures of the calls in `source` go over:
// the sum of the lengths of the calls of the `names`, each up to its
// matching parenthesis (literals and comments not told apart) or to the end
// of the input. Each call is captured on its own, so nested calls count
// their depth over: 100 nested calls of 10 bytes cost about 50,000.
inline double capture_work(std::string_view source, const std::vector<std::string_view>& names) {
  constexpr std::uint32_t kOpen = UINT32_MAX;
  // Kept from one input to the next, with their memory (see Run::clear).
  static std::vector<std::uint32_t> close;
  static std::vector<std::uint32_t> open;
  close.assign(source.size(), kOpen);
  open.clear();
  for (std::size_t i = 0; i < source.size(); ++i) {
    if (source[i] == '(') {
      open.push_back(static_cast<std::uint32_t>(i));
    } else if (source[i] == ')' && !open.empty()) {
      close[open.back()] = static_cast<std::uint32_t>(i);
      open.pop_back();
    }
  }
  double work = 0;
  for (const std::string_view name : names) {
    if (name.empty()) continue;
    for (std::size_t at = source.find(name); at != std::string_view::npos; at = source.find(name, at + 1)) {
      std::size_t paren = at + name.size();
      while (paren < source.size() && zaptor::is_space(source[paren])) ++paren;
      if (paren >= source.size() || source[paren] != '(') continue;
      const std::size_t end = close[paren] == kOpen ? source.size() : close[paren];
      work += static_cast<double>(end - at);
    }
  }
  return work;
}

// Whether the captures stay within a budget: 64 KB, or 32 times the input
// for a long one. Inputs past it are left out: deep nesting whose inner
// calls move in their replacements (tallyx prints each level's message, the
// calls inside it included) costs the square of its depth for a reason that
// is known, and such inputs would slow the search down without telling
// anything new. A single long call, and long nested calls left in place,
// pass.
inline bool captures_within_budget(double work, std::size_t input_size) {
  return work <= 64.0 * 1024 + 32.0 * static_cast<double>(input_size);
}

// Leaves an input out; ZAPTOR_FUZZ_SKIPS=1 in the environment names the
// reason, to check that no seed is left out.
inline int skip(const char* why) {
  static const bool tell = std::getenv("ZAPTOR_FUZZ_SKIPS") != nullptr;
  if (tell) std::fprintf(stderr, "skipped: %s\n", why);
  return 0;
}

// The invariants that hold for any table: both loops agree byte for byte,
// and the verbose echo is the input as read.
inline void check_runs(std::string_view source, const Run& fast, const Run& plain) {
  check_same(fast.printed, plain.printed, "fast path and line-by-line scan print differently");
  check_same(fast.copy, plain.copy, "fast path and line-by-line scan write differently");
  check_same(fast.echo, plain.echo, "fast path and line-by-line scan echo differently");
  check(fast.status == plain.status, "fast path and line-by-line scan end differently");
  if (fast.line != plain.line) {
    std::fprintf(stderr, "\nlines %llu and %llu\n", static_cast<unsigned long long>(fast.line),
                 static_cast<unsigned long long>(plain.line));
    fail("fast path and line-by-line scan stop at different lines");
  }
  if (fast.status == zaptor::ScanStatus::endless_rewrite) {
    // The lines read up to the offending one, continuation lines included.
    check(source.substr(0, fast.echo.size()) == fast.echo, "the echo is not a prefix of the input");
  } else {
    // Every line read is echoed once, in reading order: the whole input.
    check_same(fast.echo, source, "the verbose echo is not the input");
  }
}

// The engine's work, counted by itself, stays within a budget in proportion
// to what it read, what it wrote out and what its rewrites wrote (which a
// line's budget bounds): every input ends, in linear time.
inline void check_work(std::string_view source, const Run& run) {
  const double io = static_cast<double>(source.size() + 3 * run.padding + run.copy.size() + run.printed.size() +
                                        run.echo.size() + run.written);
  check(static_cast<double>(run.work) <= 64.0 * io + 65536.0, "the engine worked out of proportion to its input and output");
}

// Whether the plain scan, which reads all that the engine's short cuts
// passed over, can be afforded after the fast run `fast`.
inline bool plain_within_budget(const Run& fast) {
  return static_cast<double>(fast.work + fast.passed) <= 16.0 * (1 << 20);
}

// With no rewrite at all, the source passes through untouched and nothing
// is printed.
inline void check_untouched(std::string_view source, const Run& run) {
  check(run.status != zaptor::ScanStatus::endless_rewrite, "endless rewrite without a match");
  check(run.printed.empty(), "printed something though no entry can match");
  check_same(run.copy, source, "changed the source though no entry can match");
}

}  // namespace zaptor_fuzz
