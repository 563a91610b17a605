#!/usr/bin/env python3
"""The worst-case shapes at two sizes, n and 8n: time and peak memory, and
how they grow.

Run by bench/run.sh (or on its own: shapes.py --bin DIR --data DIR). Every
shape must grow linearly: 8 times the input takes at most about 9 times the
time, and peak memory stays a small multiple of the longest call and
output line. Prints a markdown table; --check makes a shape that grows
past 10 times, or is not converted exactly, an error (exit status 1).
"""

import argparse
import os
import statistics
import subprocess
import sys
import time

TIME = "/usr/bin/time"


def nested(n):
    return "x = " + "WinA(" * n + "x" + ", y)" * n + ";\n"


def entry(name, fmt, order):
    return f'entry\nname {name}\norder {" ".join(map(str, order))}\nformat "{fmt}"\n\n'


TALLYX = None  # the shape runs tallyx, whose table is built in

# name, tool, table text (None for tallyx), source for scale n, n, what the issue calls it
SHAPES = [
    ("moved parameter over nested calls", "zaptor", entry("WinA", "Foo(%s, %s)", [0, 1]), nested, 40_000),
    ("swapped parameters over nested calls", "zaptor", entry("WinA", "Foo(%s, %s)", [1, 0]), nested, 40_000),
    ("parameters left in place over nested calls", "zaptor", entry("WinA", "Foo(%s,%s)", [0, 1]), nested, 40_000),
    ("format re-creating its call one ')' shorter", "zaptor", entry("WinA", "-WinA(%s", [0]),
     lambda n: "WinA(y)" + " a)" * n + "\nnext line\n", 40_000),
    ("first letters before '(' with a 64-letter name", "zaptor", entry("W" * 64, "<%s>", [0]),
     lambda n: "W" * n + "(x)\n", 300_000),
    ("nested parentheses in one call", "zaptor", entry("WinA", "<%s>", [0]),
     lambda n: "WinA(" + "(" * (n // 2) + ")" * (n // 2) + ")\n", 8_000_000),
    ("nested parentheses in one call", "tallyx", TALLYX,
     lambda n: "WinSendMsg(h, " + "(" * (n // 2) + ")" * (n // 2) + ")\n", 8_000_000),
    ("calls the input never closes, a line each", "zaptor", entry("WinA", "<%s>", [0]),
     lambda n: "WinA(\n" * n, 200_000),
    ("code commented out line by line", "tallyx", TALLYX,
     lambda n: "// WinSendMsg(h, M,\n//   0, 0);\n" * (n // 2) + "WinPostMsg(h, N, 0, 0);\n", 200_000),
    ("a line without a call", "zaptor", entry("WinA", "<%s>", [0]),
     lambda n: ("x = y + (z); " * (n // 13 + 1))[:n] + "\n", 8_000_000),
    ("a line without a call", "tallyx", TALLYX,
     lambda n: ("x = y + (z); " * (n // 13 + 1))[:n] + "\n", 8_000_000),
]


def run(argv, cwd, stdout_path):
    """Wall seconds and peak RSS in KiB of one run."""
    rss_file = os.path.join(cwd, ".rss")
    with open(stdout_path, "wb") as out:
        start = time.perf_counter()
        status = subprocess.call([TIME, "-f", "%M", "-o", rss_file, "--"] + argv, cwd=cwd, stdout=out,
                                 stderr=subprocess.DEVNULL)
        seconds = time.perf_counter() - start
    with open(rss_file) as f:
        rss = int(f.read().split()[-1])
    return seconds, rss, status


def measure(bin_dir, shape, n, work, reps):
    name, tool, table, make, _ = shape
    os.makedirs(work, exist_ok=True)
    src = os.path.join(work, "in.c")
    with open(src, "w") as f:
        f.write(make(n))
    if table is not None:
        with open(os.path.join(work, "table.txt"), "w") as f:
            f.write(table)
        subprocess.check_call([os.path.join(bin_dir, "zaptor-table"), "compile", "table.txt", "zaptor.bin"], cwd=work)
        argv = [os.path.join(bin_dir, "zaptor"), "in.c", "out.c"]
    else:
        argv = [os.path.join(bin_dir, "tallyx"), "in.c"]
    runs = [run(argv, work, os.path.join(work, "stdout")) for _ in range(reps)]
    statuses = {r[2] for r in runs}
    return {
        "bytes": os.path.getsize(src),
        "seconds": statistics.median(r[0] for r in runs),
        "rss_kib": max(r[1] for r in runs),
        "status": statuses.pop() if len(statuses) == 1 else -1,
    }


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", required=True)
    ap.add_argument("--data", required=True)
    ap.add_argument("--reps", type=int, default=3)
    ap.add_argument("--check", action="store_true")
    a = ap.parse_args()
    a.bin = os.path.abspath(a.bin)
    a.data = os.path.abspath(a.data)
    if not os.access(TIME, os.X_OK):
        sys.exit("shapes.py: needs GNU time (/usr/bin/time)")
    rows = ["| shape | tool | n | time n, s | time 8n, s | time growth | peak RSS 8n, MiB | RSS / input (8n) | RSS growth |",
            "|---|---|---:|---:|---:|---:|---:|---:|---:|"]
    failed = False
    for i, shape in enumerate(SHAPES):
        name, tool, _, _, n = shape
        print(f"... {name} ({tool})", file=sys.stderr, flush=True)
        small = measure(a.bin, shape, n, os.path.join(a.data, f"shape-{i}-n"), a.reps)
        large = measure(a.bin, shape, 8 * n, os.path.join(a.data, f"shape-{i}-8n"), a.reps)
        growth = large["seconds"] / small["seconds"] if small["seconds"] > 0 else float("inf")
        rss_growth = large["rss_kib"] / small["rss_kib"]
        per_input = large["rss_kib"] * 1024 / large["bytes"]
        ok = small["status"] == 0 and large["status"] == 0 and growth <= 10
        failed = failed or not ok
        rows.append(f"| {name} | {tool} | {small['bytes']:,} | {small['seconds']:.3f} | {large['seconds']:.3f} | "
                    f"{growth:.1f}x | {large['rss_kib'] / 1024:.1f} | {per_input:.1f}x | {rss_growth:.1f}x"
                    + ("" if ok else " **FAILED**") + " |")
    print("\n".join(rows))
    if a.check and failed:
        sys.exit(1)


if __name__ == "__main__":
    main()
