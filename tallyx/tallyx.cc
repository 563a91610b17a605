// tallyx: lists the message of every WinSendMsg, WinPostMsg and
// WinSendDlgItemMsg call in a C source.
#include "engine/standard_streams.h"
#include "tallyx/tallyx_main.h"

int main(int argc, char** argv) {
  return zaptor::run_on_standard_streams("tallyx", "the output", zaptor::tallyx_main, argc, argv);
}
