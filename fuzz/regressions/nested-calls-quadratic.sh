#!/usr/bin/env bash
# The time zaptor took over nested calls grew with the square of the
# nesting depth: after each rewrite the rescan captured the next nested
# call again up to its closing parenthesis and split it again, so a depth
# of d cost about d times the length of the text. Release build, 2 cores:
# depth 2,500 0.04 s, 5,000 0.21 s, 10,000 0.83 s, 20,000 3.9 s. Now the
# walks note where long stretches close and the rescan takes the notes:
# 5,000 19 ms, 10,000 26 ms, 20,000 36 ms (the start of the process
# included).
#
# Prints the time per depth; exits 1 while doubling the depth more than
# triples the time.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../.."
bin=${1:-build/release/bin}
if [ ! -x "$bin/zaptor" ]; then
  cmake --preset release >/dev/null
  cmake --build --preset release --target zaptor
fi
bin=$(cd "$bin" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
python3 - <<'PY'
import struct
order = [0] + [-1] * 7
record = b"WinA".ljust(256, b"\0") + b"B(%s)".ljust(256, b"\0") + struct.pack("<ii8i", 4, 1, *order)
open("zaptor.bin", "wb").write(struct.pack("<i", 1) + record)
for depth in (5000, 10000, 20000):
    open("nest%d.c" % depth, "w").write("WinA(" * depth + "x" + ")" * depth + ";\n")
    open("nest%d.expected" % depth, "w").write("B(" * depth + "x" + ")" * depth + ";\n")
PY
previous=""
status=0
for depth in 5000 10000 20000; do
  start=$(date +%s%N)
  "$bin/zaptor" "nest$depth.c" "nest$depth.win" >/dev/null
  ms=$(( ($(date +%s%N) - start) / 1000000 ))
  cmp -s "nest$depth.win" "nest$depth.expected" || { echo "depth $depth: wrong output"; exit 2; }
  echo "depth $depth: $ms ms"
  if [ -n "$previous" ] && [ "$ms" -gt $((3 * previous + 20)) ]; then status=1; fi
  previous=$ms
done
[ "$status" -eq 0 ] || echo "the time grows faster than the depth"
exit "$status"
