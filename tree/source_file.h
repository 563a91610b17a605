// A source file read whole, with what its inode said when it was read, so
// that a change on disk while it was converted shows before it is replaced.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace zaptor {

struct FileState {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  std::int64_t modified_ns = 0, changed_ns = 0;
  mode_t mode = 0;
  bool operator==(const FileState&) const = default;
};

struct ReadFile {
  // The file's bytes, in storage that is not cleared before the read fills it.
  std::string_view bytes() const { return std::string_view(data.get(), size); }
  std::unique_ptr<char[]> data;
  std::size_t size = 0;
  FileState state;
  std::string error;  // empty when read: why it could not be
};

// Reads a regular file; anything else (a FIFO, a device) is refused
// without waiting on it.
ReadFile read_regular_file(const std::string& path);

// The state of the file at `path` now; nullopt when it cannot be seen.
std::optional<FileState> file_state(const std::string& path);

}  // namespace zaptor
