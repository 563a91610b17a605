// Messages of the programs on their error stream, "program: what", with
// the system's text for an error number; and the guard every program runs
// its body in.
#pragma once

#include <cstdio>
#include <functional>
#include <string_view>

namespace zaptor {

// The streams of one run of a program, standard or a test's.
struct ProgramIo {
  std::FILE* out = stdout;
  std::FILE* err = stderr;
};

// A program's body: arguments (the first word the program's name) and
// streams; returns the exit status.
using ProgramMain = int (*)(int, char**, const ProgramIo&);

class Diagnostics {
 public:
  Diagnostics(std::string_view program, std::FILE* err) : program_(program), err_(err) {}
  void error(std::string_view what) const;
  void error(std::string_view what, int error_number) const;
  std::string_view program() const { return program_; }

 private:
  std::string_view program_;
  std::FILE* err_;
};

// Runs a program's body: whatever fails, the run ends with a message and
// kExitFailure (out of memory included), never with an abort, and what the
// body holds is released on the way.
int run_reporting_failures(const Diagnostics& diagnostics, const std::function<int()>& run);

}  // namespace zaptor
