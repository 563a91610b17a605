#!/usr/bin/env python3
"""zaptor-tree on a generated code base: 500 files in 25 folders.

  tree_bench.py --bin DIR --data DIR [--reps 5] [--check]

Times, as medians of alternating runs in one session: `apply -j1` against a
shell loop of zaptor over the same files, `apply -j2` against `apply -j1`,
and `survey` against `grep -rc WinSendMsg` over the tree (its output to a
file: GNU grep stops at the first match when it writes to /dev/null).
Every apply starts from a fresh copy of the tree, made outside the timing.
Prints a markdown table; --check makes a missed target exit status 1.
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import gen_corpus  # noqa: E402

FOLDERS, FILES = 25, 500
TARGETS = {"loop / apply -j1": 5.0, "apply -j1 / apply -j2": 1.7, "survey / grep -rc": 1.5}


def make_tree(root, bin_dir):
    if os.path.exists(os.path.join(root, "done")):
        return
    shutil.rmtree(root, ignore_errors=True)
    src = os.path.join(root, "src")
    for i in range(FILES):
        folder = os.path.join(src, f"module{i % FOLDERS:02d}")
        os.makedirs(folder, exist_ok=True)
        # 8 to 40 KB, as the files of a real code base vary.
        gen_corpus.corpus(os.path.join(folder, f"file{i:03d}.c"), 8000 + (i * 7919) % 32000, seed=i)
        os.remove(os.path.join(folder, f"file{i:03d}.c.meta"))
    tables = os.path.join(root, "tables")
    subprocess.run([sys.executable, gen_corpus.__file__, "--tables", tables], check=True)
    subprocess.run([os.path.join(bin_dir, "zaptor-table"), "compile", os.path.join(tables, "table-20.txt"),
                    os.path.join(root, "zaptor.bin")], check=True)
    open(os.path.join(root, "done"), "w").close()


def fresh(root):
    work = os.path.join(root, "work")
    shutil.rmtree(work, ignore_errors=True)
    shutil.copytree(os.path.join(root, "src"), work)
    return work


def timed(cmd, cwd, shell=False, out=subprocess.DEVNULL):
    start = time.perf_counter()
    subprocess.run(cmd, cwd=cwd, shell=shell, stdout=out, stderr=subprocess.DEVNULL, check=False)
    return time.perf_counter() - start


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", required=True)
    ap.add_argument("--data", required=True)
    ap.add_argument("--reps", type=int, default=5)
    ap.add_argument("--check", action="store_true")
    a = ap.parse_args()
    root = os.path.join(os.path.abspath(a.data), "tree")
    tool = os.path.join(os.path.abspath(a.bin), "zaptor-tree")
    zaptor = os.path.join(os.path.abspath(a.bin), "zaptor")
    make_tree(root, a.bin)
    loop = f"find work -name '*.c' | sort | while read -r f; do '{zaptor}' \"$f\" \"$f.out\"; done"
    grep_out = os.path.join(root, "grep.out")
    times = {k: [] for k in ("loop", "apply -j1", "apply -j2", "survey", "grep -rc")}
    for _ in range(a.reps):
        fresh(root)
        times["loop"].append(timed(loop, root, shell=True))
        fresh(root)
        times["apply -j1"].append(timed([tool, "apply", "-q", "-j", "1", "work"], root))
        fresh(root)
        times["apply -j2"].append(timed([tool, "apply", "-q", "-j", "2", "work"], root))
        with open(grep_out, "w") as out:
            times["grep -rc"].append(timed(["grep", "-rc", "WinSendMsg", "src"], root, out=out))
        with open(grep_out + ".survey", "w") as out:
            times["survey"].append(timed([tool, "survey", "-q", "src"], root, out=out))
    med = {k: statistics.median(v) for k, v in times.items()}
    ratios = {
        "loop / apply -j1": med["loop"] / med["apply -j1"],
        "apply -j1 / apply -j2": med["apply -j1"] / med["apply -j2"],
        "survey / grep -rc": med["survey"] / med["grep -rc"],
    }
    size = sum(os.path.getsize(os.path.join(d, f)) for d, _, fs in os.walk(os.path.join(root, "src")) for f in fs)
    print(f"{FILES} files in {FOLDERS} folders, {size / 1e6:.1f} MB; medians of {a.reps} runs\n")
    print("| run | median s |\n|---|---:|")
    for k, v in med.items():
        print(f"| {k} | {v:.3f} |")
    print("\n| ratio | measured | target | |\n|---|---:|---:|---|")
    failed = False
    for k, v in ratios.items():
        ok = v >= TARGETS[k] if "survey" not in k else v <= TARGETS[k]
        failed = failed or not ok
        sign = ">=" if "survey" not in k else "<="
        print(f"| {k} | {v:.2f} | {sign} {TARGETS[k]} | {'ok' if ok else 'MISSED'} |")
    return 1 if a.check and failed else 0


if __name__ == "__main__":
    sys.exit(main())
