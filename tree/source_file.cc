#include "tree/source_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace zaptor {

namespace {

FileState state_of(const struct stat& st) {
  FileState state;
  state.device = st.st_dev;
  state.inode = st.st_ino;
  state.size = st.st_size;
  state.modified_ns = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  state.changed_ns = static_cast<std::int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
  state.mode = st.st_mode;
  return state;
}

// Closes the descriptor on every way out.
struct Descriptor {
  int fd;
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
};

}  // namespace

ReadFile read_regular_file(const std::string& path) {
  ReadFile file;
  // Without O_NONBLOCK a FIFO nobody writes would hold the run here.
  const Descriptor d{::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)};
  struct stat st {};
  if (d.fd < 0 || ::fstat(d.fd, &st) != 0) {
    file.error = std::generic_category().message(errno);
    return file;
  }
  if (!S_ISREG(st.st_mode)) {
    file.error = "not a regular file";
    return file;
  }
  file.state = state_of(st);
  std::size_t capacity = static_cast<std::size_t>(st.st_size);
  file.data = std::make_unique_for_overwrite<char[]>(capacity);
  for (;;) {
    if (file.size == capacity) {
      // The file grew since the fstat, or it may have: look for more.
      char probe = 0;
      const ssize_t n = ::read(d.fd, &probe, 1);
      if (n == 0) break;
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        file.error = std::generic_category().message(errno);
        return file;
      }
      capacity = capacity + capacity / 2 + 4096;
      auto grown = std::make_unique_for_overwrite<char[]>(capacity);
      std::copy_n(file.data.get(), file.size, grown.get());
      grown[file.size++] = probe;
      file.data = std::move(grown);
      continue;
    }
    const ssize_t n = ::read(d.fd, file.data.get() + file.size, capacity - file.size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      file.error = std::generic_category().message(errno);
      return file;
    }
    if (n == 0) break;
    file.size += static_cast<std::size_t>(n);
  }
  return file;
}

std::optional<FileState> file_state(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return state_of(st);
}

}  // namespace zaptor
