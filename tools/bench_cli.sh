#!/usr/bin/env bash
# Benchmark of the command-line tool (not a test):
#  1. `tarnovell join` of a ~2 GB set against `cat` of the same files in one run (the payload
#     bytes plus the 30720-byte head), warm page cache, interleaved rounds, printing the ratio
#     cat time / join time. The set's own files are the fair input for both: a file written by
#     the splitter reads at another speed than the original that dd wrote;
#  2. peak memory (maximum resident set size, /usr/bin/time -v) of a join of a 1 GiB and of a
#     4 GiB set, which must be flat.
# Usage: tools/bench_cli.sh [path to a tarnovell binary]. Without one, a release build without
# sanitizers is made in build-bench-cli. Scratch files (about 12 GB at the peak) go to
# $BENCH_DIR (default: ${TMPDIR:-/tmp}) and are removed at the end.
source "$(dirname "$0")/script_common.sh"
release_tool build-bench-cli "${1:-}"
scratch_dir tarnovell-bench
cd "$work"

now() { date +%s.%N; }

echo "== join vs cat, 2 GB =="
random_set "$tool" payload 2048 --size 500M
# Interleaved rounds, the order swapped every round; the first round only warms the page cache.
# Other work on the machine makes single runs noisy: the best and the median of each are shown.
: >times.txt
for round in 0 1 2 3 4 5 6; do
  for what in $( [ $((round % 2)) = 0 ] && echo "cat join" || echo "join cat" ); do
    rm -f out.bin
    sync
    t0=$(now)
    if [ "$what" = cat ]; then cat payload.exe payload.c0* >out.bin; else "$tool" join -q -o out.bin payload.exe; fi
    t1=$(now)
    [ "$what" = join ] && { cmp -s payload.bin out.bin || { echo "joined bytes differ"; exit 1; }; }
    [ "$round" -gt 0 ] && echo "$what $(python3 -c "print($t1 - $t0)")" >>times.txt
  done
done
python3 "$ROOT/tools/bench_summary.py" times.txt cat join
rm -f payload.* out.*

echo "== peak memory of join =="
for gib in 1 4; do
  random_set "$tool" in$gib $((1024 * gib)) >/dev/null   # the default size: 1 GiB files
  /usr/bin/time -v "$tool" join -q -o out$gib.bin in$gib.exe 2>time$gib.txt
  rss=$(awk -F': ' '/Maximum resident set size/ {print $2}' time$gib.txt)
  echo "  $gib GiB set ($(ls in$gib.exe in$gib.c0* 2>/dev/null | wc -l) files): peak RSS $rss KiB"
  eval "rss$gib=$rss"
  rm -f in$gib.* out$gib.bin
done
python3 -c "print('  peak RSS 4 GiB / 1 GiB = %.2f (flat: about 1)' % ($rss4 / $rss1))"
