#!/usr/bin/env bash
# Benchmark (not a test): the real stub under Wine joining one set of six files with two
# recovery files, whole and with DATA.c002 lost (rebuilt from the others), in alternating rounds
# (ROUNDS=3), the best and the median of each and their ratios; and the peak memory (VmHWM) of
# the stub's process in each kind of run, Wine's own share included.
#   bash tools/bench_stub_repair.sh [SIZE_IN_BYTES]     (default 600000000)
# Uses build/ (BUILD=... to choose another) and needs about 3 x SIZE of free disk beside it.
# STUB=PATH puts another padded stub in the set (an older build, to compare with).
source "$(dirname "$0")/script_common.sh"
SIZE=${1:-600000000}
choose_wine

if [ ! -x "$BUILD/cli/tarnovell" ] || [ ! -f "$BUILD/$WINDOWS/tarnovell_stub.bin" ]; then
  configure_test_build "$BUILD"
  cmake --build "$BUILD" --target "$WINDOWS" tarnovell
fi

BENCH=$BUILD/bench-repair
rm -rf "$BENCH"
mkdir -p "$BENCH/set" "$BENCH/aside"
echo "making a $SIZE-byte file and its set of six files with two recovery files ..."
head -c "$SIZE" /dev/urandom >"$BENCH/original.bin"
touch -d '2020-01-02 03:04:05 UTC' "$BENCH/original.bin"  # the joined file gets this time back
PIECE=$(( (SIZE + 30720) / 6 + 1 ))
"$BUILD/cli/tarnovell" split "$BENCH/original.bin" --size "$PIECE" --base DATA --output-dir "$BENCH/set" \
  --stub "${STUB:-$BUILD/$WINDOWS/tarnovell_stub.bin}" --recovery 2 --quiet
rm "$BENCH/original.bin"
ls -l "$BENCH/set" | awk 'NR > 1 {print "  " $5 "  " $9}'

export_e2e_env
export BENCH SIZE
on_screen python3 "$ROOT/tools/bench_stub_repair.py"
rm -rf "$BENCH"
