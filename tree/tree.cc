#include "tree/tree_main.h"

int main(int argc, char** argv) { return zaptor::tree_main(argc, argv, zaptor::ProgramIo{}); }
