// tallyx: lists the message of every WinSendMsg, WinPostMsg and
// WinSendDlgItemMsg call in a C source.
#include <cerrno>
#include <cstdio>

#include "engine/exit_status.h"
#include "engine/standard_streams.h"
#include "tallyx/tallyx_main.h"

int main(int argc, char** argv) {
  using namespace zaptor;
  if (!claim_standard_streams()) {
    Diagnostics("tallyx", stderr).error("cannot write to the standard output: it is closed");
    return kExitFailure;
  }
  const int status = tallyx_main(argc, argv, {stdout, stderr});
  // The output's close is its last chance to fail.
  if (std::fclose(stdout) != 0 && status == kExitOk) {
    Diagnostics("tallyx", stderr).error("cannot write the output", errno);
    return kExitFailure;
  }
  return status;
}
