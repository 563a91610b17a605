// A file written so that a failure leaves whatever stood at its name before.
//
// A regular file, or a name that names nothing yet, is written to a new
// temporary file in the same directory, which replaces it only when it is
// complete; a symbolic link has the file it points to replaced, and an
// existing file's permission bits are kept. Anything else (a device, a
// FIFO, /dev/stdout) cannot be replaced and is written to directly. A
// temporary file never outlives a failed run, also not one ended by SIGINT,
// SIGTERM or SIGHUP.
#pragma once

#include <cstdio>
#include <string>

namespace zaptor {

class ReplacingFile {
 public:
  // Without `guard_signals` the caller sees to the temporary file when a
  // signal comes (the guard keeps one file at a time, for one thread).
  explicit ReplacingFile(bool guard_signals = true) : guard_signals_(guard_signals) {}
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;
  ~ReplacingFile() { abandon(); }

  // Opens `path` for writing; false, with errno set, when it cannot.
  bool open(const std::string& path);
  std::FILE* stream() const { return file_; }
  // Closes the file and puts it in place; false, with errno set, when
  // anything failed (and the old file stays).
  bool commit();
  // Closes the file; a temporary file is removed.
  void abandon();

 private:
  std::FILE* file_ = nullptr;
  std::string target_;     // the file to replace
  std::string temporary_;  // empty when written directly
  bool guard_signals_;
};

}  // namespace zaptor
