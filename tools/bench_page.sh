#!/usr/bin/env bash
# Benchmark of the joiner page (not a test): a set of 1 GiB of random data in pieces of 256M with
# two recovery files, from the page cache, checked by the page in headless Chromium (every piece
# and both recovery files read and their digests taken), and checked and rebuilt with one piece
# left out; beside `tarnovell verify` of the same set. Best of three rounds each.
# Usage: tools/bench_page.sh [path to a tarnovell binary]. Without one, a release build without
# sanitizers is made in build-bench-page. Scratch files (about 2.5 GB) go to $BENCH_DIR (default:
# ${TMPDIR:-/tmp}) and are removed at the end.
source "$(dirname "$0")/script_common.sh"
release_tool build-bench-page "${1:-}"
scratch_dir tarnovell-bench-page
cd "$work"
random_set "$tool" bench 1024 --size 256M --recovery 2 --page
cat bench.* >/dev/null
files=(bench.exe bench.c0* bench.r0*)
set_bytes=$(cat bench.exe bench.c0* | wc -c)
all_bytes=$(cat "${files[@]}" | wc -c)

best=999
for round in 1 2 3; do
  t0=$(date +%s.%N)
  "$tool" verify -q bench.exe
  t=$(python3 -c "print($(date +%s.%N) - $t0)")
  best=$(python3 -c "print(min($best, $t))")
done
page=$(cd "$ROOT/tests/page" && node page_bench.mjs "$work/bench.html" 3 bench.c002 "${files[@]/#/$work/}")
python3 - "$set_bytes" "$all_bytes" "$best" "$page" <<'PY'
import json, sys
set_bytes, all_bytes, verify = int(sys.argv[1]), int(sys.argv[2]), float(sys.argv[3])
page = json.loads(sys.argv[4])
mb = lambda b, s: f"{b / s / 1e6:7.0f} MB/s"
print(f"set: {set_bytes} bytes in 5 files, with its 2 recovery files {all_bytes} bytes")
print(f"tarnovell verify (pieces and recovery files)  {verify:6.2f} s  {mb(all_bytes, verify)}")
print(f"page: check (pieces and recovery files)       {page['check']:6.2f} s  {mb(all_bytes, page['check'])}"
      f"  ({mb(set_bytes, page['check']).strip()} of the set's data)")
print(f"page: check and rebuild of bench.c002         {page['repair']:6.2f} s  "
      f"{page['repair'] / page['check']:.2f} x the check")
print(f"page check / tarnovell verify: {page['check'] / verify:.2f} x the time")
PY
