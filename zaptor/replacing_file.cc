#include "zaptor/replacing_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <vector>

namespace zaptor {

namespace {

// The temporary file a signal must not leave behind; one at a time.
char g_temporary[4096];
volatile std::sig_atomic_t g_have_temporary = 0;
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction g_previous[3];

extern "C" void remove_temporary_and_die(int signal_number) {
  if (g_have_temporary != 0) ::unlink(g_temporary);
  // End as the signal would have ended the process.
  ::signal(signal_number, SIG_DFL);
  ::raise(signal_number);
}

void guard(const std::string& temporary) {
  if (temporary.size() >= sizeof g_temporary) return;  // no room to name it: nothing to remove
  std::memcpy(g_temporary, temporary.c_str(), temporary.size() + 1);
  g_have_temporary = 1;
  struct sigaction action {};
  action.sa_handler = remove_temporary_and_die;
  sigemptyset(&action.sa_mask);
  for (std::size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &action, &g_previous[i]);
}

void unguard() {
  if (g_have_temporary == 0) return;
  for (std::size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &g_previous[i], nullptr);
  g_have_temporary = 0;
}

// The file `path` names, through any symbolic links; a link to nothing
// names the file it would point to.
std::string resolve(std::string path) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    std::vector<char> link(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1);
    const ssize_t n = ::readlink(path.c_str(), link.data(), link.size());
    if (n < 0 || static_cast<std::size_t>(n) >= link.size()) return path;
    std::string target(link.data(), static_cast<std::size_t>(n));
    if (target.empty()) return path;
    if (target.front() != '/') {
      const std::size_t slash = path.rfind('/');
      if (slash != std::string::npos) target = path.substr(0, slash + 1) + target;
    }
    path = std::move(target);
  }
  return path;
}

mode_t default_mode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

}  // namespace

bool ReplacingFile::open(const std::string& path) {
  abandon();
  target_ = resolve(path);
  struct stat st {};
  const bool exists = ::stat(target_.c_str(), &st) == 0;
  if (exists && !S_ISREG(st.st_mode)) {
    file_ = std::fopen(path.c_str(), "wb");
    return file_ != nullptr;
  }
  const std::size_t slash = target_.rfind('/');
  const std::string dir = slash == std::string::npos ? "" : target_.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? target_ : target_.substr(slash + 1);
  // Hidden, and short enough for any name the directory takes.
  std::string name = dir + "." + base.substr(0, 64) + ".XXXXXX";
  const int fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) return false;
  temporary_ = name;
  if (guard_signals_) guard(temporary_);
  if (::fchmod(fd, exists ? (st.st_mode & 07777) : default_mode()) != 0 ||
      (file_ = ::fdopen(fd, "wb")) == nullptr) {
    const int error = errno;
    ::close(fd);
    abandon();
    errno = error;
    return false;
  }
  return true;
}

bool ReplacingFile::commit() {
  if (file_ == nullptr) {
    errno = EBADF;
    return false;
  }
  errno = 0;
  const bool flushed = std::fflush(file_) == 0;
  int error = errno;
  const bool closed = std::fclose(file_) == 0;
  if (error == 0) error = errno;
  file_ = nullptr;
  if (!flushed || !closed) {
    abandon();
    errno = error != 0 ? error : EIO;
    return false;
  }
  if (!temporary_.empty()) {
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
      error = errno;
      abandon();
      errno = error;
      return false;
    }
    temporary_.clear();
    if (guard_signals_) unguard();
  }
  return true;
}

void ReplacingFile::abandon() {
  if (file_ != nullptr) {
    std::fclose(file_);
    file_ = nullptr;
  }
  if (!temporary_.empty()) {
    ::unlink(temporary_.c_str());
    temporary_.clear();
    if (guard_signals_) unguard();
  }
}

}  // namespace zaptor
