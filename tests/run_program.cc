#include "tests/run_program.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <system_error>

namespace zaptor_testing {

namespace {

[[noreturn]] void fail_errno(const std::string& what) {
  throw std::system_error(errno, std::generic_category(), what);
}

void close_fd(int& fd) {
  if (fd >= 0) {
    ::close(fd);
    fd = -1;
  }
}

struct Pipe {
  int read_end = -1;
  int write_end = -1;
  Pipe() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) fail_errno("pipe2");
    read_end = fds[0];
    write_end = fds[1];
  }
  ~Pipe() {
    close_fd(read_end);
    close_fd(write_end);
  }
  Pipe(const Pipe&) = delete;
  Pipe& operator=(const Pipe&) = delete;
};

void ignore_sigpipe_once() {
  static const bool done = [] {
    struct sigaction sa {};
    sa.sa_handler = SIG_IGN;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGPIPE, &sa, nullptr);
    return true;
  }();
  (void)done;
}

}  // namespace

namespace {

std::string read_back(std::FILE* file) {
  std::string bytes;
  std::rewind(file);
  char block[1 << 16];
  for (std::size_t got; (got = std::fread(block, 1, sizeof block, file)) > 0;) bytes.append(block, got);
  return bytes;
}

struct CloseStream {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

RunResult run_in_process(ProgramMain main, std::vector<std::string> argv, const std::string& cwd) {
  std::unique_ptr<std::FILE, CloseStream> out(std::tmpfile());
  std::unique_ptr<std::FILE, CloseStream> err(std::tmpfile());
  if (!out || !err) fail_errno("tmpfile");
  std::vector<char*> args;
  for (std::string& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  const std::string previous = std::filesystem::current_path().string();
  std::filesystem::current_path(cwd);
  RunResult result;
  const auto start = std::chrono::steady_clock::now();
  result.exit_code = main(static_cast<int>(argv.size()), args.data(), {out.get(), err.get()});
  result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::filesystem::current_path(previous);
  std::fflush(out.get());
  std::fflush(err.get());
  result.out = read_back(out.get());
  result.err = read_back(err.get());
  return result;
}

RunResult run(std::vector<std::string> argv, const std::string& cwd, std::string_view stdin_bytes) {
  return run(std::move(argv), cwd, stdin_bytes, RunOptions{});
}

RunResult run(std::vector<std::string> argv, const std::string& cwd, std::string_view stdin_bytes,
              const RunOptions& options) {
  if (argv.empty()) throw std::invalid_argument("run: empty argument vector");
  ignore_sigpipe_once();

  // Everything the child needs is prepared before fork.
  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (std::string& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  const char* dir = cwd.c_str();

  Pipe in, out, err;
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = ::fork();
  if (pid < 0) fail_errno("fork");
  if (pid == 0) {
    // Child: only async-signal-safe calls from here to execv.
    ::dup2(in.read_end, 0);
    ::dup2(out.write_end, 1);
    ::dup2(err.write_end, 2);
    struct sigaction sa {};
    sa.sa_handler = SIG_DFL;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGPIPE, &sa, nullptr);
    if (::chdir(dir) != 0) ::_exit(126);
    ::execv(args[0], args.data());
    static const char msg[] = "run: execv failed\n";
    ssize_t ignored = ::write(2, msg, sizeof msg - 1);
    (void)ignored;
    ::_exit(127);
  }

  close_fd(in.read_end);
  close_fd(out.write_end);
  close_fd(err.write_end);
  if (stdin_bytes.empty()) {
    close_fd(in.write_end);
  } else {
    ::fcntl(in.write_end, F_SETFL, ::fcntl(in.write_end, F_GETFL) | O_NONBLOCK);
  }

  RunResult result;
  std::size_t written = 0;
  std::vector<char> chunk(1 << 16);
  bool killed = false;

  while (out.read_end >= 0 || err.read_end >= 0) {
    struct pollfd fds[3];
    int* owners[3];
    nfds_t n = 0;
    if (out.read_end >= 0) {
      fds[n] = {out.read_end, POLLIN, 0};
      owners[n++] = &out.read_end;
    }
    if (err.read_end >= 0) {
      fds[n] = {err.read_end, POLLIN, 0};
      owners[n++] = &err.read_end;
    }
    if (in.write_end >= 0) {
      fds[n] = {in.write_end, POLLOUT, 0};
      owners[n++] = &in.write_end;
    }

    int wait_ms = 200;
    if (!killed) {
      const auto elapsed = std::chrono::steady_clock::now() - start;
      if (elapsed >= options.timeout) {
        ::kill(pid, SIGKILL);
        killed = true;
        result.timed_out = true;
        close_fd(in.write_end);
        continue;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(options.timeout - elapsed);
      wait_ms = static_cast<int>(std::min<long long>(left.count() + 1, 1000));
    }

    const int ready = ::poll(fds, n, wait_ms);
    if (ready < 0) {
      if (errno == EINTR) continue;
      fail_errno("poll");
    }
    for (nfds_t i = 0; i < n; ++i) {
      if (fds[i].revents == 0) continue;
      int& fd = *owners[i];
      if (owners[i] == &in.write_end) {
        if (fds[i].revents & (POLLERR | POLLHUP)) {
          close_fd(fd);
          continue;
        }
        const ssize_t w = ::write(fd, stdin_bytes.data() + written, stdin_bytes.size() - written);
        if (w < 0) {
          if (errno == EAGAIN || errno == EINTR) continue;
          close_fd(fd);  // EPIPE: the program does not read its input
          continue;
        }
        written += static_cast<std::size_t>(w);
        if (written == stdin_bytes.size()) close_fd(fd);
        continue;
      }
      const ssize_t r = ::read(fd, chunk.data(), chunk.size());
      if (r < 0) {
        if (errno == EINTR || errno == EAGAIN) continue;
        fail_errno("read");
      }
      if (r == 0) {
        close_fd(fd);
        continue;
      }
      const std::string_view piece(chunk.data(), static_cast<std::size_t>(r));
      if (owners[i] == &out.read_end) {
        if (options.on_out) {
          options.on_out(piece);
        } else {
          result.out.append(piece);
        }
      } else {
        result.err.append(piece);
      }
    }
  }
  close_fd(in.write_end);

  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) fail_errno("waitpid");
  }
  result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (WIFEXITED(status)) {
    result.exit_code = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    result.exit_code = -WTERMSIG(status);
  } else {
    result.exit_code = -1000;
  }
  return result;
}

std::string program(const char* name) {
  const char* dir = std::getenv("ZAPTOR_BIN_DIR");
  if (dir == nullptr || *dir == '\0') {
    throw std::runtime_error("ZAPTOR_BIN_DIR is not set; run the tests through ctest");
  }
  return std::string(dir) + "/" + name;
}

// ---------------------------------------------------------------- files

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string templ = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/zaptor-e2e-XXXXXX";
  std::vector<char> buf(templ.begin(), templ.end());
  buf.push_back('\0');
  if (::mkdtemp(buf.data()) == nullptr) fail_errno("mkdtemp " + templ);
  path_ = buf.data();
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string TempDir::file(std::string_view relative) const {
  return path_ + "/" + std::string(relative);
}

void write_file(const std::string& path, std::string_view bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  if (!f) throw std::runtime_error("cannot create " + path);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  f.close();
  if (!f) throw std::runtime_error("cannot write " + path);
}

std::string read_file(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) throw std::runtime_error("cannot open " + path);
  std::ostringstream s;
  s << f.rdbuf();
  if (f.bad()) throw std::runtime_error("cannot read " + path);
  return std::move(s).str();
}

bool file_exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

void make_dir(const std::string& path) {
  if (::mkdir(path.c_str(), 0777) != 0) fail_errno("mkdir " + path);
}

// ---------------------------------------------------------------- macro files

MacroEntry macro(std::string name, std::string format, std::initializer_list<int32_t> order, int32_t cParms) {
  const auto cb = static_cast<int32_t>(std::strlen(name.c_str()));
  MacroEntry e = macro_cb(std::move(name), cb, std::move(format), order);
  e.cParms = cParms;
  return e;
}

MacroEntry macro_cb(std::string name, int32_t cb, std::string format, std::initializer_list<int32_t> order) {
  if (order.size() > 8) throw std::invalid_argument("macro: more than eight parameter slots");
  MacroEntry e;
  e.name = std::move(name);
  e.format = std::move(format);
  e.cb = cb;
  e.cParms = 4;
  std::size_t k = 0;
  for (int32_t v : order) e.order[k++] = v;
  return e;
}

std::string le32(int32_t value) {
  const auto u = static_cast<uint32_t>(value);
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[static_cast<std::size_t>(i)] = static_cast<char>((u >> (8 * i)) & 0xFFu);
  return s;
}

namespace {
std::string field256(const std::string& text, const char* what) {
  if (text.size() > 256) throw std::invalid_argument(std::string("macro record: ") + what + " longer than 256 bytes");
  std::string f = text;
  f.resize(256, '\0');
  return f;
}
}  // namespace

std::string encode_record(const MacroEntry& entry) {
  std::string r;
  r.reserve(552);
  r += field256(entry.name, "name");
  r += field256(entry.format, "format");
  r += le32(entry.cb);
  r += le32(entry.cParms);
  for (int32_t v : entry.order) r += le32(v);
  if (r.size() != 552) throw std::logic_error("macro record is not 552 bytes");
  return r;
}

std::string encode_macro_file(const std::vector<MacroEntry>& entries) {
  return encode_macro_file(static_cast<int32_t>(entries.size()), entries);
}

std::string encode_macro_file(int32_t announced, const std::vector<MacroEntry>& entries) {
  std::string file = le32(announced);
  file.reserve(4 + 552 * entries.size());
  for (const MacroEntry& e : entries) file += encode_record(e);
  return file;
}

void write_macro_file(const std::string& path, const std::vector<MacroEntry>& entries) {
  write_file(path, encode_macro_file(entries));
}

// ---------------------------------------------------------------- checks

std::string escaped(std::string_view bytes, std::size_t limit) {
  std::string s;
  std::size_t n = 0;
  for (unsigned char c : bytes) {
    if (n++ == limit) {
      s += "...";
      break;
    }
    switch (c) {
      case '\n': s += "\\n"; break;
      case '\t': s += "\\t"; break;
      case '\r': s += "\\r"; break;
      case '\\': s += "\\\\"; break;
      case '"': s += "\\\""; break;
      default:
        if (c < 0x20 || c >= 0x7F) {
          char hex[8];
          std::snprintf(hex, sizeof hex, "\\x%02X", c);
          s += hex;
        } else {
          s += static_cast<char>(c);
        }
    }
  }
  return s;
}

::testing::AssertionResult same_bytes(std::string_view expected, std::string_view actual) {
  if (expected == actual) return ::testing::AssertionSuccess();
  std::size_t i = 0;
  while (i < expected.size() && i < actual.size() && expected[i] == actual[i]) ++i;
  const std::size_t from = i > 60 ? i - 60 : 0;
  auto around = [&](std::string_view s) {
    if (from >= s.size()) return std::string("<end>");
    return escaped(s.substr(from, 200), 200);
  };
  return ::testing::AssertionFailure()
         << "byte strings differ\n  expected size " << expected.size() << ", actual size " << actual.size()
         << "\n  first difference at offset " << i << " (context from offset " << from << ")"
         << "\n  expected: \"" << around(expected) << "\""
         << "\n  actual:   \"" << around(actual) << "\"";
}

}  // namespace zaptor_testing
