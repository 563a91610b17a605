#include "engine/standard_streams.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "engine/exit_status.h"

namespace zaptor {

namespace {

bool is_open(int fd) { return fcntl(fd, F_GETFD) != -1; }

// Opens /dev/null so that it takes the lowest free descriptor, `fd`.
void fill_with_null(int fd, int mode) {
  const int taken = open("/dev/null", mode);
  if (taken != -1 && taken != fd) close(taken);
}

}  // namespace

bool claim_standard_streams() {
  const bool output_open = is_open(STDOUT_FILENO);
  // In order: open() takes the lowest free number.
  if (!is_open(STDIN_FILENO)) fill_with_null(STDIN_FILENO, O_RDONLY);
  if (!output_open) fill_with_null(STDOUT_FILENO, O_WRONLY);
  if (!is_open(STDERR_FILENO)) fill_with_null(STDERR_FILENO, O_WRONLY);
  return output_open;
}

int run_on_standard_streams(std::string_view program, std::string_view output, ProgramMain body, int argc,
                            char** argv) {
  if (!claim_standard_streams()) {
    Diagnostics(program, stderr).error("cannot write to the standard output: it is closed");
    return kExitFailure;
  }
  const int status = body(argc, argv, {stdout, stderr});
  if (std::fclose(stdout) != 0 && status == kExitOk) {
    Diagnostics(program, stderr).error("cannot write " + std::string(output), errno);
    return kExitFailure;
  }
  return status;
}

}  // namespace zaptor
