#!/usr/bin/env bash
# Benchmark of the Windows command-line tool under Wine (not a test): `tarnovell.exe join` of a
# set against Wine's `cmd /c copy /b` of the same files into one file, in one run. Both start
# through tools/wine-run.sh (the same Wine, prefix and start-up cost) and read the set's own
# files from a warm page cache; interleaved rounds, the order swapped every round, the first
# only warming. Prints the best and the median of each and the ratio copy time / join time
# (above 1: the join is faster). The timing and the check of the bytes: bench_wintool.py.
#   bash tools/bench_wintool.sh [SIZE_IN_BYTES]     (default 1073741824)
# Uses build/ (BUILD=... to choose another; the tool is $BUILD/windows64/cli/tarnovell.exe, made
# when missing) and about 3 x SIZE of free disk in $BENCH_DIR (default: ${TMPDIR:-/tmp}).
source "$(dirname "$0")/script_common.sh"
SIZE=${1:-1073741824}
TOOL=$BUILD/windows64/cli/tarnovell.exe
if [ ! -f "$TOOL" ]; then
  configure_test_build "$BUILD"
  cmake --build "$BUILD" --target windows64 >/dev/null
fi
scratch_dir tarnovell-bench-wintool

echo "making a $SIZE-byte file and its set with the Windows tool ..."
head -c "$SIZE" /dev/urandom >"$work/original.bin"
(cd "$work" && bash "$ROOT/tools/wine-run.sh" "$TOOL" split original.bin --size $(( SIZE / 4 + 1 )) --base DATA -q)
ls -l "$work" | awk 'NR > 1 {print "  " $5 "  " $9}'
python3 "$ROOT/tools/bench_wintool.py" "$ROOT/tools/wine-run.sh" "$TOOL" "$work"
