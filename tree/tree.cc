#include "engine/standard_streams.h"
#include "tree/tree_main.h"

int main(int argc, char** argv) {
  return zaptor::run_on_standard_streams("zaptor-tree", "the standard output", zaptor::tree_main, argc, argv);
}
