#!/usr/bin/env bash
# Output.WritesEverythingInOrder (engine/streams_test.cc) ends with
# std::fclose(file) while `Output out(file)` is still alive; out's destructor
# then flushes the freed FILE. AddressSanitizer does not see it (the FILE is
# freed and read inside the C library); memcheck does:
#
#   Invalid read of size 4
#      at fflush (iofflush.c:39)
#      by zaptor::Output::flush() (streams.cc)
#      by zaptor::Output::~Output() (streams.cc)
#   Address ... is 0 bytes inside a block of size 472 free'd
#      at free
#      by fclose
#
# Needs a debug build (cmake --workflow --preset debug, or scripts/valgrind).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../.."
test_binary=${1:-build/debug/bin/engine_test}
if [ ! -x "$test_binary" ]; then
  cmake --preset debug >/dev/null
  cmake --build --preset debug --target engine_test
fi
valgrind -q --error-exitcode=1 "$test_binary" --gtest_filter=Output.WritesEverythingInOrder
