#!/usr/bin/env python3
"""Times tallyx, zaptor and the reference tools on the generated inputs.

Run by bench/run.sh, which builds the programs and makes the inputs first;
see bench/README.md. Wall time comes from time.perf_counter around each
child, peak memory from GNU time's %M (/usr/bin/time, package "time").
"""

import argparse
import hashlib
import json
import os
import signal
import statistics
import subprocess
import sys
import threading
import time

MB = 1_000_000
MIB = 1 << 20

SED_SCRIPT = r"s/WinSendMsg[[:space:]]*\(/SendMessage(/g"


class Run:
    def __init__(self, seconds, rss_kib, status, timed_out):
        self.seconds = seconds
        self.rss_kib = rss_kib
        self.status = status
        self.timed_out = timed_out


TIME = "/usr/bin/time"  # GNU time: the peak RSS of its child, which forks from a small process


def run_once(argv, stdout_path, cwd=None, timeout=None, stderr_path=os.devnull):
    """Runs argv with stdout to a file; wall time, peak RSS, exit status.

    The peak RSS comes from GNU time: a child forked from this Python
    process would count the interpreter's pages it had before its exec."""
    use_time = os.access(TIME, os.X_OK)
    rss_file = os.path.join(os.path.dirname(stdout_path) if stdout_path != os.devnull else "/tmp",
                            f".rss-{os.getpid()}")
    full = [TIME, "-f", "%M", "-o", rss_file, "--"] + argv if use_time else argv
    with open(stdout_path, "wb") as out, open(stderr_path, "ab") as err:
        start = time.perf_counter()
        proc = subprocess.Popen(full, stdout=out, stderr=err, stdin=subprocess.DEVNULL, cwd=cwd,
                                start_new_session=True)
        killed = threading.Event()

        def kill():
            # Kill the tool, so that time still reports its peak RSS; then
            # anything left of the process group.
            killed.set()
            try:
                with open(f"/proc/{proc.pid}/task/{proc.pid}/children") as f:
                    for pid in f.read().split():
                        os.kill(int(pid), signal.SIGKILL)
            except OSError:
                pass
            threading.Timer(5, lambda: killpg(proc.pid)).start()

        def killpg(pgid):
            try:
                os.killpg(pgid, signal.SIGKILL)
            except OSError:
                pass

        if not use_time:
            kill = lambda: (killed.set(), killpg(proc.pid))  # noqa: E731
        timer = threading.Timer(timeout, kill) if timeout else None
        if timer:
            timer.start()
        _, status, usage = os.wait4(proc.pid, 0)
        seconds = time.perf_counter() - start
        if timer:
            timer.cancel()
        proc.returncode = os.waitstatus_to_exitcode(status)  # reaped here, not by Popen
    rss_kib = usage.ru_maxrss
    if use_time:
        rss_kib = 0
        try:
            with open(rss_file) as f:
                last = [x for x in f.read().split("\n") if x.strip()][-1]
            rss_kib = int(last)
        except (OSError, ValueError, IndexError):
            pass
        try:
            os.remove(rss_file)
        except OSError:
            pass
    return Run(seconds, rss_kib, proc.returncode, killed.is_set())


def sha256_file(path):
    h = hashlib.sha256()
    with open(path, "rb") as f:
        while True:
            block = f.read(1 << 22)
            if not block:
                break
            h.update(block)
    return h.hexdigest()


def load_meta(path):
    with open(path + ".meta") as f:
        return json.load(f)


class Bench:
    def __init__(self, a):
        self.a = a
        self.bin = a.bin
        self.data = a.data
        self.out_dir = os.path.join(a.data, "out")
        os.makedirs(self.out_dir, exist_ok=True)
        self.log = os.path.join(a.data, "stderr.log")
        open(self.log, "w").close()
        self.checksums = {}
        self.problems = []   # runs that failed: printed at the end
        self.have_zaptor = os.access(os.path.join(self.bin, "zaptor"), os.X_OK)
        if not self.have_zaptor:
            self.problems.append(f"no {self.bin}/zaptor: its rows are missing")

    def table_dir(self, n):
        return os.path.join(self.data, "tables", f"t{n}")

    # The commands measured, each: name -> (argv for FILE, stdout path, cwd).
    def commands(self, path, tools):
        out = os.path.join(self.out_dir, "out")
        z = os.path.join(self.out_dir, "zaptor.out")
        all_ = {
            "tallyx": ([os.path.join(self.bin, "tallyx"), path], os.devnull, None),
            "zaptor": ([os.path.join(self.bin, "zaptor"), path, z], os.devnull, self.table_dir(20)),
            "zaptor-t3": ([os.path.join(self.bin, "zaptor"), path, z], os.devnull, self.table_dir(3)),
            "zaptor-t10000": ([os.path.join(self.bin, "zaptor"), path, z], os.devnull, self.table_dir(10000)),
            "cat": (["cat", path], out, None),
            # Not to /dev/null: GNU grep then stops at the first match.
            "grep -c": (["grep", "-c", "WinSendMsg", path], out, None),
            "sed -E": (["sed", "-E", SED_SCRIPT, path], out, None),
        }
        return {t: all_[t] for t in tools if self.have_zaptor or not t.startswith("zaptor")}

    def measure(self, path, tools, reps, timeout):
        """Runs every tool `reps` times on path, interleaved; name -> list of Run.

        A tool that times out is not run again on this file."""
        cmds = self.commands(path, tools)
        # Warm the page cache so that the first tool does not pay for the disk.
        run_once(["cat", path], os.devnull)
        runs = {t: [] for t in cmds}
        for _ in range(reps):
            for t, (argv, stdout_path, cwd) in cmds.items():
                if runs[t] and runs[t][-1].timed_out:
                    continue
                r = run_once(argv, stdout_path, cwd, timeout, self.log)
                ok = r.status == 0 or (t == "grep -c" and r.status == 1)
                if not ok and not r.timed_out:
                    self.problems.append(f"{t} on {os.path.basename(path)}: exit status {r.status}")
                runs[t].append(r)
                if t.startswith("zaptor") and not r.timed_out:
                    self.checksums[f"{self.key(path)} {t}"] = sha256_file(os.path.join(self.out_dir, "zaptor.out"))
        return runs

    def key(self, path):
        return os.path.basename(path).rsplit(".", 1)[0]

    def tallyx_checksum(self, path, timeout):
        out = os.path.join(self.out_dir, "tallyx.out")
        r = run_once([os.path.join(self.bin, "tallyx"), path], out, None, timeout, self.log)
        if not r.timed_out:
            self.checksums[f"{self.key(path)} tallyx"] = sha256_file(out)
        os.remove(out)

    def input_checksum(self, path):
        self.checksums[f"{self.key(path)} input"] = sha256_file(path)


def median(runs):
    return statistics.median(r.seconds for r in runs)


def fmt_s(runs):
    if any(r.timed_out for r in runs):
        return f">{runs[-1].seconds:.0f}"
    return f"{median(runs):.3f}"


def timed_out(runs):
    return any(r.timed_out for r in runs)


def max_rss_mib(runs):
    return max(r.rss_kib for r in runs) / 1024


def ratio(a, b):
    return a / b if b > 0 else float("nan")


def human(n):
    """A byte count for the tables: B, kB or MB."""
    if n >= MB:
        return f"{n / MB:.2f} MB"
    if n >= 1000:
        return f"{n / 1000:.1f} kB"
    return f"{n} B"


def verdict(ok):
    return "met" if ok else "MISSED"


class Table:
    def __init__(self, title, header):
        self.title = title
        self.header = header
        self.rows = []

    def add(self, *cells):
        self.rows.append([str(c) for c in cells])

    def text(self):
        widths = [max(len(x) for x in col) for col in zip(self.header, *self.rows)]
        line = lambda cells: "  ".join(c.rjust(w) if i else c.ljust(w) for i, (c, w) in enumerate(zip(cells, widths)))
        return "\n".join([self.title, line(self.header), line(["-" * w for w in widths])]
                         + [line(r) for r in self.rows]) + "\n"

    def markdown(self):
        out = [f"**{self.title}**", "", "| " + " | ".join(self.header) + " |",
               "|" + "|".join("---" if i == 0 else "---:" for i in range(len(self.header))) + "|"]
        out += ["| " + " | ".join(r) + " |" for r in self.rows]
        return "\n".join(out) + "\n"


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", required=True)
    ap.add_argument("--data", required=True)
    ap.add_argument("--sizes", default="2,20,200")
    ap.add_argument("--reps", type=int, default=5)
    ap.add_argument("--hostile-reps", type=int, default=3)
    ap.add_argument("--timeout", type=float, default=60, help="seconds a hostile run may take")
    ap.add_argument("--expected", help="checksums to compare with")
    ap.add_argument("--record", action="store_true", help="write the checksums to --expected")
    ap.add_argument("--describe", default="", help="a line about the run for the results")
    a = ap.parse_args()
    a.bin, a.data = os.path.abspath(a.bin), os.path.abspath(a.data)  # zaptor runs elsewhere

    b = Bench(a)
    # What a measured run costs before the tool does anything.
    start_up = statistics.median(run_once(["true"], os.devnull).seconds for _ in range(9))
    a.describe = (a.describe + " " if a.describe else "") + \
        f"A measured run of `true` takes {start_up * 1000:.1f} ms (included in every time)."
    sizes = [int(s) for s in a.sizes.split(",")]
    tools = ["tallyx", "zaptor", "cat", "grep -c", "sed -E"]
    tables = []
    medians = {}  # (tool, size) -> seconds
    rss = {}

    # 1. The generated corpora.
    t = Table("Generated corpus: median of %d runs" % a.reps,
              ["tool", "size MB", "median s", "MB/s", "x cat", "x grep -c", "max RSS MiB"])
    for size in sizes:
        path = os.path.join(a.data, f"corpus-{size}.c")
        nbytes = os.path.getsize(path)
        print(f"... corpus {size} MB", file=sys.stderr, flush=True)
        runs = b.measure(path, tools, a.reps, 20 * a.timeout)
        b.tallyx_checksum(path, 20 * a.timeout)
        b.input_checksum(path)
        cat, grep = median(runs["cat"]), median(runs["grep -c"])
        for tool, rs in runs.items():
            m = median(rs)
            medians[(tool, size)] = m
            rss[(tool, size)] = max_rss_mib(rs)
            t.add(tool, size, fmt_s(rs), f"{nbytes / MB / m:.0f}", f"{ratio(m, cat):.2f}",
                  f"{ratio(m, grep):.2f}", f"{max_rss_mib(rs):.1f}")
    tables.append(t)

    # 2. Scaling: how the time grows with the size.
    t = Table("Scaling: time factor between sizes (size factor 10)",
              ["tool", "from MB", "to MB", "time factor", "target"])
    for lo, hi in zip(sizes, sizes[1:]):
        for tool in tools:
            if (tool, lo) in medians:
                f = ratio(medians[(tool, hi)], medians[(tool, lo)])
                t.add(tool, lo, hi, f"{f:.2f}", "<= 11" if tool in ("tallyx", "zaptor") else "")
    tables.append(t)

    # 3. Hostile inputs against ordinary files of the same size.
    t = Table("Hostile inputs: median of %d runs, against a generated file of the same size" % a.hostile_reps,
              ["input", "tool", "MB", "hostile s", "ordinary s", "ratio", "max RSS MiB",
               "longest line", "longest call", "RSS / longest"])
    hostile_rows = []
    for name in ("longline", "longcall", "nested"):
        path = os.path.join(a.data, f"hostile-{name}.c")
        same = os.path.join(a.data, f"same-{name}.c")
        meta = load_meta(path)
        print(f"... hostile {name}", file=sys.stderr, flush=True)
        hr = b.measure(path, ["tallyx", "zaptor"], a.hostile_reps, a.timeout)
        orr = b.measure(same, ["tallyx", "zaptor"], a.hostile_reps, a.timeout)
        b.tallyx_checksum(path, a.timeout)
        b.input_checksum(path)
        longest = max(meta["longest_line"], meta["longest_call"])
        for tool in hr:
            h, o = hr[tool], orr[tool]
            r = ratio(median(h), median(o))
            rel = max_rss_mib(h) * MIB / longest
            hostile_rows.append((name, tool, r, timed_out(h), rel))
            t.add(name, tool, f"{meta['bytes'] / MB:.1f}", fmt_s(h), fmt_s(o),
                  (">" if timed_out(h) else "") + f"{r:.2f}", f"{max_rss_mib(h):.1f}",
                  human(meta["longest_line"]), human(meta["longest_call"]), f"{rel:.2f}")
    tables.append(t)

    # 4. Table size: zaptor with 10,000 entries against 3 on the same file.
    table_ratio = None
    if b.have_zaptor:
        mid = 20 if 20 in sizes else sizes[-1]
        path = os.path.join(a.data, f"corpus-{mid}.c")
        print(f"... tables on corpus {mid} MB", file=sys.stderr, flush=True)
        runs = b.measure(path, ["zaptor-t3", "zaptor-t10000"], a.reps, 20 * a.timeout)
        t3, t10k = median(runs["zaptor-t3"]), median(runs["zaptor-t10000"])
        table_ratio = ratio(t10k, t3)
        t = Table(f"Table size: zaptor on the {mid} MB corpus, median of {a.reps} runs",
                  ["table", "median s", "MB/s", "max RSS MiB", "ratio to 3 entries"])
        nbytes = os.path.getsize(path)
        t.add("3 entries", fmt_s(runs["zaptor-t3"]), f"{nbytes / MB / t3:.0f}",
              f"{max_rss_mib(runs['zaptor-t3']):.1f}", "1.00")
        t.add("10,000 entries", fmt_s(runs["zaptor-t10000"]), f"{nbytes / MB / t10k:.0f}",
              f"{max_rss_mib(runs['zaptor-t10000']):.1f}", f"{table_ratio:.2f}")
        tables.append(t)
        k3, k10k = f"corpus-{mid} zaptor-t3", f"corpus-{mid} zaptor-t10000"
        if k3 in b.checksums and b.checksums.get(k3) != b.checksums.get(k10k):
            b.problems.append("zaptor's output with the 10,000-entry table differs from the 3-entry one")

    # 5. The targets.
    big = sizes[-1]
    t = Table(f"Targets (largest corpus: {big} MB)", ["target", "measured", "verdict"])
    g = ratio(medians[("tallyx", big)], medians[("grep -c", big)])
    t.add("tallyx / grep -c <= 1.0", f"{g:.2f}", verdict(g <= 1.0))
    if b.have_zaptor:
        z = ratio(medians[("zaptor", big)], medians[("cat", big)])
        t.add("zaptor (20 entries) / cat <= 2.0", f"{z:.2f}", verdict(z <= 2.0))
    if len(sizes) > 1:
        lo = sizes[-2]
        for tool in ("tallyx", "zaptor"):
            if (tool, lo) in medians:
                f = ratio(medians[(tool, big)], medians[(tool, lo)])
                t.add(f"{tool} {lo} -> {big} MB time factor <= 11", f"{f:.2f}", verdict(f <= 11))
    for name, tool, r, to, rel in hostile_rows:
        t.add(f"{tool} {name} / ordinary <= 3", (">" if to else "") + f"{r:.2f}", verdict(not to and r <= 3))
        t.add(f"{tool} {name} peak RSS <= 4 x longest line or call", f"{rel:.2f}", verdict(rel <= 4))
    if table_ratio is not None:
        t.add("zaptor 10,000 / 3 entries <= 1.2", f"{table_ratio:.2f}", verdict(table_ratio <= 1.2))
    for tool in ("tallyx", "zaptor"):
        if (tool, big) in rss:
            t.add(f"{tool} peak RSS on {big} MB <= 16 MiB", f"{rss[(tool, big)]:.1f}", verdict(rss[(tool, big)] <= 16))
    tables.append(t)

    # Output.
    text = "".join(x.text() + "\n" for x in tables)
    print()
    if a.describe:
        print(a.describe + "\n")
    print(text, end="")
    with open(os.path.join(a.data, "results.txt"), "w") as f:
        f.write((a.describe + "\n\n" if a.describe else "") + text)
    with open(os.path.join(a.data, "results.md"), "w") as f:
        if a.describe:
            f.write(a.describe + "\n\n")
        f.write("\n".join(x.markdown() for x in tables))

    # Checksums.
    status = 0
    with open(os.path.join(a.data, "checksums.txt"), "w") as f:
        for k in sorted(b.checksums):
            f.write(f"{b.checksums[k]}  {k}\n")
    if a.expected and os.path.exists(a.expected) and not a.record:
        expected = {}
        with open(a.expected) as f:
            for line in f:
                if line.strip() and not line.startswith("#"):
                    digest, key = line.rstrip("\n").split("  ", 1)
                    expected[key] = digest
        bad_inputs = [k for k in b.checksums if k.endswith(" input") and k in expected and expected[k] != b.checksums[k]]
        bad = [k for k in b.checksums if k in expected and expected[k] != b.checksums[k] and not k.endswith(" input")]
        compared = [k for k in b.checksums if k in expected]
        if bad_inputs:
            print("\n" + "!" * 72, file=sys.stderr)
            print("INPUTS DIFFER from those the expected checksums were made on (the generator changed?):",
                  file=sys.stderr)
            for k in bad_inputs:
                print("  " + k, file=sys.stderr)
            print("Re-record with bench/run.sh --record once the outputs are known to be right.", file=sys.stderr)
            status = 1
        if bad:
            print("\n" + "!" * 72, file=sys.stderr)
            print("CHECKSUM MISMATCH: the outputs are not byte-identical to the recorded ones:", file=sys.stderr)
            for k in bad:
                print(f"  {k}: expected {expected[k][:16]}..., got {b.checksums[k][:16]}...", file=sys.stderr)
            print("!" * 72, file=sys.stderr)
            status = 1
        if not bad and not bad_inputs:
            print(f"Checksums: {len(compared)} outputs and inputs identical to {a.expected}.")
        missing = [k for k in b.checksums if k not in expected]
        if missing:
            print(f"Checksums not recorded yet ({len(missing)}): " + ", ".join(sorted(missing)))
    elif a.record and a.expected:
        merged = {}
        if os.path.exists(a.expected):
            with open(a.expected) as f:
                for line in f:
                    if line.strip() and not line.startswith("#"):
                        digest, key = line.rstrip("\n").split("  ", 1)
                        merged[key] = digest
        merged.update(b.checksums)
        with open(a.expected, "w") as f:
            f.write("# sha256 of the benchmark inputs and of the tools' outputs on them;\n"
                    "# written by bench/run.sh --record, checked by every other run.\n")
            for k in sorted(merged):
                f.write(f"{merged[k]}  {k}\n")
        print(f"Checksums recorded in {a.expected} ({len(b.checksums)} measured, {len(merged)} in all).")
    else:
        print("Checksums written to build/bench-data/checksums.txt (no expected checksums to compare with).")

    for p in b.problems:
        print("PROBLEM: " + p, file=sys.stderr)
    if b.problems:
        status = 1
    return status


if __name__ == "__main__":
    sys.exit(main())
