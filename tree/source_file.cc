#include "tree/source_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
  file.bytes.resize(static_cast<std::size_t>(st.st_size));
  std::size_t got = 0;
  std::string more;  // what a file that grew since the fstat holds past its size then
  for (;;) {
    const bool within = got < file.bytes.size();
    if (!within && more.empty()) more.resize(1 << 16);
    char* to = within ? file.bytes.data() + got : more.data();
    const std::size_t room = within ? file.bytes.size() - got : more.size();
    const ssize_t n = ::read(d.fd, to, room);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      file.error = std::generic_category().message(errno);
      file.bytes.clear();
      return file;
    }
    if (n == 0) break;
    if (!within) {
      file.bytes.resize(got);
      file.bytes.append(more, 0, static_cast<std::size_t>(n));
    }
    got += static_cast<std::size_t>(n);
  }
  file.bytes.resize(got);
  return file;
}

std::optional<FileState> file_state(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return state_of(st);
}

}  // namespace zaptor
