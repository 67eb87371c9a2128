#!/usr/bin/env bash
# Benchmark of the recovery files (not a test), printed in one run:
#  1. encoding 2 recovery files of a 2 GiB set against a plain `tarnovell split` of the same file
#     (pieces of the default 1G, and of 200M), warm page cache, interleaved rounds: the time of
#     encoding over the time of the split (the aim: at most 1.5);
#  2. finding and rebuilding one lost 200 MiB piece of a ten-piece set against `cat` of the whole
#     set to /dev/null;
#  3. the peak memory (maximum resident set size) of each.
# Usage: tools/bench_recovery.sh [BUILD]. Without BUILD (a folder holding cli/tarnovell and
# recovery/bench_recovery), a release build without sanitizers is made in build-bench-recovery.
# Scratch files (about 6 GB at the peak) go to $BENCH_DIR (default: ${TMPDIR:-/tmp}) and are
# removed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-}
if [ -z "$build" ]; then
  build=$PWD/build-bench-recovery
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTARNOVELL_SANITIZE=OFF >/dev/null
  cmake --build "$build" --target tarnovell bench_recovery >/dev/null
fi
build=$(readlink -f "$build")
tool=$build/cli/tarnovell
bench=$build/recovery/bench_recovery
work=$(mktemp -d "${BENCH_DIR:-${TMPDIR:-/tmp}}/tarnovell-bench-recovery.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

now() { date +%s.%N; }
# seconds COMMAND...: runs it after a sync (so no earlier write is flushed on its time) and
# prints how long it took.
seconds() {
  sync
  local t0 t1
  t0=$(now)
  "$@" >/dev/null
  t1=$(now)
  python3 -c "print($t1 - $t0)"
}
# summary FILE A B: best and median of the rows "A seconds" and "B seconds", and B over A.
summary() {
  python3 - "$@" <<'PY'
import statistics, sys
path, a, b = sys.argv[1:]
times = {a: [], b: []}
for line in open(path):
    what, value = line.split()
    times[what].append(float(value))
for what in (a, b):
    values = times[what]
    print("  %-7s best %.3f s, median %.3f s over %d runs" % (what, min(values), statistics.median(values), len(values)))
print("  %s / %s: best %.2f, median %.2f" % (b, a, min(times[b]) / min(times[a]),
      statistics.median(times[b]) / statistics.median(times[a])))
PY
}
peak() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -1; }

dd if=/dev/urandom of=payload.bin bs=16M count=128 status=none  # 2 GiB
for size in 1G 200M; do
  echo "== split vs encoding 2 recovery files: 2 GiB in pieces of $size =="
  : >times.txt
  for round in 0 1 2 3 4 5 6; do
    for what in $( [ $((round % 2)) = 0 ] && echo "split encode" || echo "encode split" ); do
      if [ "$what" = split ]; then
        rm -f payload.exe payload.c0* payload.r0*
        t=$(seconds "$tool" split -q --size "$size" payload.bin)
      else
        [ -f payload.exe ] || "$tool" split -q --size "$size" payload.bin
        rm -f payload.r0*
        t=$(seconds "$bench" encode 2 payload.exe)
      fi
      [ "$round" -gt 0 ] && echo "$what $t" >>times.txt
    done
  done
  echo "  set: $(ls payload.exe payload.c0* | wc -l) files; recovery: $(stat -c %s payload.r01) bytes each"
  summary times.txt split encode
  echo "  peak RSS of encoding: $(peak "$bench" encode 2 payload.exe) KiB"
  rm -f payload.exe payload.c0* payload.r0*
done
rm -f payload.bin

echo "== rebuilding one lost 200 MiB piece of a ten-piece set vs cat of the set =="
dd if=/dev/urandom of=ten.bin bs=8M count=249 status=none  # 1992 MiB: 10 files of 200 MiB or less
"$tool" split -q --size 200M ten.bin
rm ten.bin
"$bench" encode 2 ten.exe | sed 's/^/  /'
echo "  set: $(ls ten.exe ten.c0* | wc -l) files"
sha=$(sha256sum ten.c005 | cut -d' ' -f1)
: >times.txt
for round in 0 1 2 3 4 5 6; do
  for what in $( [ $((round % 2)) = 0 ] && echo "cat rebuild" || echo "rebuild cat" ); do
    if [ "$what" = cat ]; then
      t=$(seconds sh -c 'cat ten.exe ten.c0* >/dev/null')
    else
      rm ten.c005
      t=$(seconds "$bench" repair ten.exe)
      [ "$(sha256sum ten.c005 | cut -d' ' -f1)" = "$sha" ] || { echo "the rebuilt piece differs"; exit 1; }
    fi
    [ "$round" -gt 0 ] && echo "$what $t" >>times.txt
  done
done
summary times.txt cat rebuild
rm ten.c005
"$bench" repair ten.exe | sed 's/^/  one run: /'
rm ten.c005
echo "  peak RSS of the rebuilding: $(peak "$bench" repair ten.exe) KiB"
