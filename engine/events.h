// What a conversion tells as it goes: each rewritten call, each character
// its parameter split reports, each call the input never closes, and a line
// whose rewrites were stopped; each with the source line of the call.
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/streams.h"

namespace zaptor {

class Events {
 public:
  virtual ~Events() = default;
  // A call of table entry `entry`, whose name stands on `line`, was
  // rewritten (or deleted).
  virtual void rewritten(int /*entry*/, std::uint64_t /*line*/) {}
  // Its parameter list holds `c`, a character that cannot stand there,
  // reported `times` times in a row.
  virtual void invalid_character(char c, int times, int entry, std::uint64_t line) = 0;
  // A call of `entry` that the input never closes: no call.
  virtual void open_call(int /*entry*/, std::uint64_t /*line*/) {}
  // The rewrites of the line starting at `line` passed their budget.
  virtual void stopped(std::uint64_t /*line*/) {}

  // A sink that lists a parameter of the calls: which one, 0-based, for
  // calls of `entry` (-1: none, the default; only the first eight can be
  // asked for). Its text then comes to parameter() before rewritten(),
  // empty when the call has fewer parameters.
  virtual int wanted_parameter(int /*entry*/) const { return -1; }
  virtual void parameter(int /*entry*/, std::uint64_t /*line*/, std::string_view /*text*/) {}
  // A sink that only lists calls: each call is told and left as it stands,
  // and the scan goes on inside it (one character after the name's first
  // letter), so the calls in all of its parameters are found.
  virtual bool keeps_calls() const { return false; }
};

// What zaptor and tallyx write: each report as a line "Invalid character C"
// on the output that `*out` names at the time (the destination, ahead of the
// line the call stands in).
class ReportLines : public Events {
 public:
  explicit ReportLines(Output* const* out) : out_(out) {}
  void invalid_character(char c, int times, int entry, std::uint64_t line) override;

 private:
  Output* const* out_;
};

}  // namespace zaptor
