// zaptor: rewrites the calls of the functions listed in zaptor.bin into the
// text their entries' formats build from each call's parameters.
#include <cerrno>
#include <cstdio>

#include "engine/exit_status.h"
#include "engine/standard_streams.h"
#include "zaptor/zaptor_main.h"

int main(int argc, char** argv) {
  using namespace zaptor;
  if (!claim_standard_streams()) {
    Diagnostics("zaptor", stderr).error("cannot write to the standard output: it is closed");
    return kExitFailure;
  }
  const int status = zaptor_main(argc, argv, {stdout, stderr});
  // The console's close is its last chance to fail.
  if (std::fclose(stdout) != 0 && status == kExitOk) {
    Diagnostics("zaptor", stderr).error("cannot write to the standard output", errno);
    return kExitFailure;
  }
  return status;
}
