#!/usr/bin/env bash
# Benchmark of the recovery files (not a test), printed in one run:
#  1. `tarnovell split --recovery 2` of a 2 GiB file against a plain `tarnovell split` of it
#     (pieces of the default 1G, and of 200M), warm page cache, interleaved rounds: the time with
#     the recovery files over the time without (the aim: at most 1.5);
#  2. `tarnovell repair` of a ten-piece set with one lost 200 MiB piece (finding it, rebuilding
#     it, checking it) against `cat` of the whole set to /dev/null;
#  3. the peak memory (maximum resident set size) of each, and of split --recovery 2, verify and
#     repair of one lost piece for sets of 11, 102 and 1000 files (sparse input: memory only).
# With BENCH_BASELINE=PATH (an older tarnovell), its `split --recovery 2` runs in the same rounds
# ("older") and its time over this one's is printed too, with its peak memory.
# Usage: tools/bench_recovery.sh [path to a tarnovell binary]. Without one, a release build
# without sanitizers is made in build-bench-recovery. Scratch files (about 6 GB at the peak) go
# to $BENCH_DIR (default: ${TMPDIR:-/tmp}) and are removed at the end.
source "$(dirname "$0")/script_common.sh"
release_tool build-bench-recovery "${1:-}"
scratch_dir tarnovell-bench-recovery
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
peak() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -1; }
# rounds A B [C...]: seven rounds of "run A", "run B", ... (functions that print their seconds),
# the order reversed every round, the first only warming the page cache; then the summary, B
# against A.
rounds() {
  : >times.txt
  local forward="$*" backward
  backward=$(printf '%s\n' "$@" | tac | tr '\n' ' ')
  for round in 0 1 2 3 4 5 6; do
    for what in $( [ $((round % 2)) = 0 ] && echo "$forward" || echo "$backward" ); do
      t=$("run_$what")
      [ "$round" -gt 0 ] && echo "$what $t" >>times.txt
    done
  done
  python3 "$ROOT/tools/bench_summary.py" times.txt "$2" "$1"
}

dd if=/dev/urandom of=payload.bin bs=16M count=128 status=none  # 2 GiB
for size in 1G 200M; do
  echo "== split vs split --recovery 2: 2 GiB in pieces of $size =="
  run_split() { rm -f payload.exe payload.c0* payload.r0*; seconds "$tool" split -q --size "$size" payload.bin; }
  run_recovery() {
    rm -f payload.exe payload.c0* payload.r0*
    seconds "$tool" split -q --size "$size" --recovery 2 payload.bin
  }
  if [ -n "${BENCH_BASELINE:-}" ]; then
    run_older() {
      rm -f payload.exe payload.c0* payload.r0*
      seconds "$BENCH_BASELINE" split -q --size "$size" --recovery 2 payload.bin
    }
    rounds split recovery older
    python3 "$ROOT/tools/bench_summary.py" times.txt older recovery | tail -1
  else
    rounds split recovery
  fi
  echo "  set: $(ls payload.exe payload.c0* | wc -l) files; recovery: $(stat -c %s payload.r01) bytes each"
  rm -f payload.exe payload.c0* payload.r0*
  echo "  peak RSS of split --recovery 2: $(peak "$tool" split -q --size "$size" --recovery 2 payload.bin) KiB"
  rm -f payload.exe payload.c0* payload.r0*
  if [ -n "${BENCH_BASELINE:-}" ]; then
    echo "  peak RSS of the older split --recovery 2: $(peak "$BENCH_BASELINE" split -q --size "$size" --recovery 2 payload.bin) KiB"
    rm -f payload.exe payload.c0* payload.r0*
  fi
done
rm -f payload.bin

echo "== repair of one lost 200 MiB piece of a ten-piece set vs cat of the set =="
random_set "$tool" ten 1992 --size 200M --recovery 2 >/dev/null  # 10 files of 200 MiB or less
rm ten.bin
echo "  set: $(ls ten.exe ten.c0* | wc -l) files, $(ls ten.r0* | wc -l) recovery files"
sha=$(sha256sum ten.c005 | cut -d' ' -f1)
run_cat() { seconds sh -c 'cat ten.exe ten.c0* >/dev/null'; }
run_repair() {
  rm ten.c005
  seconds "$tool" repair -q ten.exe
  [ "$(sha256sum ten.c005 | cut -d' ' -f1)" = "$sha" ] || { echo "the rebuilt piece differs" >&2; exit 1; }
}
rounds cat repair
rm ten.c005
echo "  peak RSS of the repair: $(peak "$tool" repair -q ten.exe) KiB"

echo "== peak memory as the set grows: split --recovery 2, verify, repair of one lost piece =="
for files in 10 100 1000; do
  truncate -s $((files * 4 * 1048576 - 12345)) grow.bin
  if [ "$files" = 1000 ]; then cut=(--number 1000 --force); else cut=(--size 4M); fi
  split_kib=$(peak "$tool" split -q "${cut[@]}" --recovery 2 grow.bin)
  verify_kib=$(peak "$tool" verify -q grow.exe)
  rm grow.c005
  repair_kib=$(peak "$tool" repair -q grow.exe)
  echo "  $(ls grow.exe grow.c* | wc -l) files: split $split_kib KiB, verify $verify_kib KiB, repair $repair_kib KiB"
  rm -f grow.bin grow.exe grow.c* grow.r0* grow.sha256
done
