// zaptor: rewrites the calls of the functions listed in zaptor.bin into the
// text their entries' formats build from each call's parameters.
#include "engine/standard_streams.h"
#include "zaptor/zaptor_main.h"

int main(int argc, char** argv) {
  return zaptor::run_on_standard_streams("zaptor", "to the standard output", zaptor::zaptor_main, argc, argv);
}
