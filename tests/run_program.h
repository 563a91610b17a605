// Support for the end-to-end tests: temporary directories, exact-byte file
// access, running a built program with its console output captured, and an
// encoder for compiled macro files.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "engine/diagnostics.h"

namespace zaptor_testing {

// ---------------------------------------------------------------- running

struct RunResult {
  int exit_code = 0;       // exit status, or -N when the process died of signal N
  std::string out;         // everything written to the standard output
  std::string err;         // everything written to the standard error
  bool timed_out = false;  // the process was killed because it ran too long
  double seconds = 0.0;    // wall-clock run time
};

struct RunOptions {
  // The process is killed (SIGKILL) when it runs longer than this.
  std::chrono::milliseconds timeout{std::chrono::seconds(60)};
  // When set, the standard output is handed to this function piece by piece
  // as it arrives and is not kept in RunResult::out (for very large outputs).
  std::function<void(std::string_view)> on_out;
};

// Runs argv[0] (a path) with the arguments argv in the directory cwd, feeding
// stdin_bytes to its standard input, and waits for it to end. Standard output
// and standard error are read concurrently, so large outputs cannot deadlock.
RunResult run(std::vector<std::string> argv, const std::string& cwd,
              std::string_view stdin_bytes = {});
RunResult run(std::vector<std::string> argv, const std::string& cwd,
              std::string_view stdin_bytes, const RunOptions& options);

// The path of a built program: $ZAPTOR_BIN_DIR/name.
std::string program(const char* name);

// A program's body, as zaptor_main and tallyx_main: arguments (the first
// word the program's name) and streams; returns the exit status.
using ProgramMain = zaptor::ProgramMain;

// Runs a program's body in this process, in the directory cwd (the working
// directory is set back afterwards), with its output and error captured:
// for the driver tests that need no process of their own (no descriptors,
// signals or standard input).
RunResult run_in_process(ProgramMain main, std::vector<std::string> argv, const std::string& cwd);

// ---------------------------------------------------------------- files

// A fresh directory under $TMPDIR (or /tmp), removed with everything in it
// when the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // path() + "/" + relative
  std::string file(std::string_view relative) const;

 private:
  std::string path_;
};

// Creates or replaces the file with exactly these bytes (throws on failure).
void write_file(const std::string& path, std::string_view bytes);
// Returns the exact bytes of the file (throws when it cannot be read).
std::string read_file(const std::string& path);
// True when something (file, directory, link - even a dangling one) exists there.
bool file_exists(const std::string& path);
void make_dir(const std::string& path);

// ---------------------------------------------------------------- macro files

// One record of a compiled macro file. name and format are the raw bytes of
// their 256-byte fields: shorter texts are padded with NUL bytes, a text of
// exactly 256 bytes fills its field without a terminator, and bytes after an
// embedded NUL are stored as given.
struct MacroEntry {
  std::string name;
  std::string format;
  int32_t cb = 0;
  int32_t cParms = 0;
  std::array<int32_t, 8> order{-1, -1, -1, -1, -1, -1, -1, -1};
};

// An entry whose cb is the length of name (up to its first NUL), whose
// parameter slots are `order` followed by -1 up to eight slots.
MacroEntry macro(std::string name, std::string format,
                 std::initializer_list<int32_t> order = {}, int32_t cParms = 4);
// The same with an explicit cb.
MacroEntry macro_cb(std::string name, int32_t cb, std::string format,
                    std::initializer_list<int32_t> order = {});

std::string le32(int32_t value);
// The 552 bytes of one record.
std::string encode_record(const MacroEntry& entry);
// A whole file: the count N (the number of entries unless given), then the records.
std::string encode_macro_file(const std::vector<MacroEntry>& entries);
std::string encode_macro_file(int32_t announced, const std::vector<MacroEntry>& entries);
void write_macro_file(const std::string& path, const std::vector<MacroEntry>& entries);

// ---------------------------------------------------------------- checks

// Compares two byte strings; on a difference reports the sizes, the offset of
// the first differing byte and the text around it (readable also for huge or
// binary texts).
::testing::AssertionResult same_bytes(std::string_view expected, std::string_view actual);

// Renders bytes with C escapes, for messages.
std::string escaped(std::string_view bytes, std::size_t limit = 400);

}  // namespace zaptor_testing
