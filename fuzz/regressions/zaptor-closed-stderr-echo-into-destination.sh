#!/usr/bin/env bash
# zaptor started with its standard input and standard error closed: the
# macro file takes descriptor 0 and is closed again, the source takes 0, and
# the destination gets descriptor 2, the standard error's. The verbose echo
# (and any message) is then written into the destination, and the run
# still exits 0:
#
#   $ zaptor -v s.c o.win <&- 2>&-      # exit 0
#   $ cat o.win
#   int a;                              <- the echo of the source
#   WinSendMsg(h, M, 0, 0);
#   int b;
#   int a;                              <- the conversion
#   S  M
#   ;
#   int b;
#
# Exits 1 while the destination holds anything but the conversion.
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
order = [1] + [-1] * 7
record = b"WinSendMsg".ljust(256, b"\0") + b"S %s\n".ljust(256, b"\0") + struct.pack("<ii8i", 10, 4, *order)
open("zaptor.bin", "wb").write(struct.pack("<i", 1) + record)
open("s.c", "w").write("int a;\nWinSendMsg(h, M, 0, 0);\nint b;\n")
open("o.expected", "w").write("int a;\nS  M\n;\nint b;\n")
PY
rc=0
"$bin/zaptor" -v s.c o.win <&- 2>&- >/dev/null || rc=$?
if cmp -s o.win o.expected; then
  echo "ok: the destination holds the conversion only (exit $rc)"
  exit 0
fi
echo "FAULT: exit $rc, and the destination holds:"
cat o.win
exit 1
