#!/usr/bin/env bash
# The benchmark suite of tallyx and zaptor: builds a release configuration,
# makes the inputs under build/bench-data/, times the tools against cat,
# grep -c and sed -E, and prints the tables (also in
# build/bench-data/results.md). See bench/README.md.
#
#   bench/run.sh            corpora of 2, 20 and 200 MB, 5 runs each
#   bench/run.sh --quick    corpora of 2 and 20 MB, 3 runs each
#   options: --record       write bench/expected_checksums.txt from this run
#            --reps N       runs of each tool on each corpus
#            --timeout S    seconds a run on a hostile input may take (default 60)
#            --no-build     use the programs as they are built
#            --no-shapes    leave out the worst-case shapes (shapes.py)
#            --no-tree      leave out zaptor-tree on a generated code base (tree_bench.py)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bench="$root/bench"
data="$root/build/bench-data"
# The release preset's flags in a tree of its own, without the tests (they
# need nothing here, and a tree being edited must not stop a measurement).
build="$root/build/bench-release"
bin="$build/bin"

sizes="2,20,200"
reps=5
hostile_reps=3
timeout=60
record=0
do_build=1
shapes=1
tree=1
while [[ $# -gt 0 ]]; do
  case "$1" in
    --quick) sizes="2,20"; reps=3; hostile_reps=3; timeout=30 ;;
    --record) record=1 ;;
    --reps) reps="$2"; shift ;;
    --timeout) timeout="$2"; shift ;;
    --no-build) do_build=0 ;;
    --no-shapes) shapes=0 ;;
    --no-tree) tree=0 ;;
    -h|--help) sed -n '2,15p' "$0"; exit 0 ;;
    *) echo "run.sh: unknown option $1" >&2; exit 2 ;;
  esac
  shift
done

say() { printf '== %s\n' "$*" >&2; }

# 1. Build.
mkdir -p "$data"
if [[ $do_build == 1 ]]; then
  say "building the release configuration in $build"
  cmake --preset release -B "$build" -DZAPTOR_TESTS=OFF >"$data/cmake.log" 2>&1 ||
    { cat "$data/cmake.log" >&2; exit 1; }
  cmake --build "$build" -j 2 --target tallyx zaptor-table >>"$data/cmake.log" 2>&1 ||
    { cat "$data/cmake.log" >&2; exit 1; }
  # zaptor is built when the tree has the target.
  cmake --build "$build" -j 2 --target zaptor >>"$data/cmake.log" 2>&1 ||
    say "zaptor could not be built (see $data/cmake.log): its rows will be missing"
  cmake --build "$build" -j 2 --target zaptor-tree >>"$data/cmake.log" 2>&1 || tree=0
fi
for p in tallyx zaptor-table; do
  [[ -x "$bin/$p" ]] || { echo "run.sh: $bin/$p is missing" >&2; exit 1; }
done

# GNU time reports each tool's peak RSS.
if [[ ! -x /usr/bin/time ]]; then
  if [[ $(id -u) == 0 ]] && command -v apt-get >/dev/null; then
    say "installing GNU time"
    { apt-get update -qq && apt-get install -y -qq time; } >"$data/apt.log" 2>&1 ||
      say "could not install GNU time: the RSS figures will count the Python interpreter"
  else
    say "no /usr/bin/time (package time): the RSS figures will count the Python interpreter"
  fi
fi

# 2. Inputs, made again only when the generator or its arguments changed.
mkdir -p "$data/tables"
gen_id=$(sha256sum "$bench/gen_corpus.py" | cut -c1-16)
make_input() {  # FILE ARGS...: runs the generator unless FILE is up to date
  local file="$1"; shift
  local stamp="$gen_id $*"
  if [[ -f "$file" && -f "$file.meta" && -f "$file.stamp" && "$(cat "$file.stamp")" == "$stamp" ]]; then
    return
  fi
  say "generating $(basename "$file")"
  rm -f "$file.stamp"
  python3 "$bench/gen_corpus.py" "$@" -o "$file"
  printf '%s' "$stamp" >"$file.stamp"
}
IFS=, read -r -a size_list <<<"$sizes"
for s in "${size_list[@]}"; do
  make_input "$data/corpus-$s.c" --size-mb "$s" --seed 1
done
for h in longline longcall nested; do
  make_input "$data/hostile-$h.c" --hostile "$h" --seed 1
  bytes=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["bytes"])' "$data/hostile-$h.c.meta")
  make_input "$data/same-$h.c" --size-bytes "$bytes" --seed 2
done

# 3. Tables: the texts, compiled each into a directory of its own as zaptor.bin.
python3 "$bench/gen_corpus.py" --tables "$data/tables" --seed 1
for n in 3 20 10000; do
  mkdir -p "$data/tables/t$n"
  "$bin/zaptor-table" compile "$data/tables/table-$n.txt" "$data/tables/t$n/zaptor.bin"
done

# 4. Measure.
describe="Run of $(date -u '+%Y-%m-%d %H:%M UTC') on $(nproc) cores ($(uname -m)), \
commit $(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo unknown)$(git -C "$root" diff --quiet 2>/dev/null || echo '+changes'); \
sizes $sizes MB, $reps runs each ($hostile_reps on hostile inputs)."
args=(--bin "$bin" --data "$data" --sizes "$sizes" --reps "$reps" --hostile-reps "$hostile_reps"
      --timeout "$timeout" --expected "$bench/expected_checksums.txt" --describe "$describe")
[[ $record == 1 ]] && args+=(--record)
status=0
python3 "$bench/bench.py" "${args[@]}" || status=$?
# The worst-case shapes at n and 8n (see shapes.py).
if [[ $shapes == 1 ]]; then
  say "worst-case shapes at n and 8n"
  python3 "$bench/shapes.py" --bin "$bin" --data "$data/shapes" --reps "$hostile_reps" --check \
    >"$data/shapes.md" || status=$?
  cat "$data/shapes.md"
fi
# zaptor-tree on 500 files in 25 folders (see tree_bench.py).
if [[ $tree == 1 && -x "$bin/zaptor-tree" ]]; then
  say "zaptor-tree on a generated code base"
  python3 "$bench/tree_bench.py" --bin "$bin" --data "$data" --reps "$reps" >"$data/tree.md" || status=$?
  cat "$data/tree.md"
fi
rm -rf "$data/out"  # the copies the tools wrote: large, and not needed any more
say "results in $data/results.md, checksums in $data/checksums.txt"
exit $status
