#!/usr/bin/env bash
# Benchmark (not a test): joins a set of about 2 GB with the real stub under Wine and with `cat`
# over the same payload bytes, and prints the ratio; the stub's join of the set with its digest
# block and with the block removed, in alternating rounds (ROUNDS=3), and their ratio; then the
# same join with a stub built without the bar drawing and message pumping after each block, to
# show what they cost.
#   bash tools/bench_join.sh [SIZE_IN_BYTES]     (default 2000000000)
# Uses build/ (BUILD=... to choose another) and needs about 3 x SIZE of free disk beside it.
source "$(dirname "$0")/script_common.sh"
SIZE=${1:-2000000000}
choose_wine

if [ ! -x "$BUILD/cli/tarnovell" ] || [ ! -f "$BUILD/$WINDOWS/tarnovell_stub.bin" ]; then
  configure_test_build "$BUILD"
  cmake --build "$BUILD" --target "$WINDOWS" tarnovell
fi
# The benchmark's own stub: the same sources with the bar and the pump left out of the copy loop.
cmake -S . -B "$BUILD/bench-windows" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/$TOOLCHAIN.cmake" -DCMAKE_CXX_FLAGS=-DTARNOVELL_BENCH_NO_PROGRESS >/dev/null
cmake --build "$BUILD/bench-windows" --target tarnovell_stub >/dev/null

BENCH=$BUILD/bench
rm -rf "$BENCH"
mkdir -p "$BENCH/set"
echo "making a $SIZE-byte file and its set ..."
head -c "$SIZE" /dev/urandom >"$BENCH/original.bin"
touch -d '2020-01-02 03:04:05 UTC' "$BENCH/original.bin"  # the joined file gets this time back
PIECE=$(( SIZE / 3 + 1 ))
"$BUILD/cli/tarnovell" split "$BENCH/original.bin" --size "$PIECE" --base DATA --output-dir "$BENCH/set" \
  --stub "$BUILD/$WINDOWS/tarnovell_stub.bin" --quiet
rm "$BENCH/original.bin"

export_e2e_env
export BENCH SIZE BENCH_STUB=$BUILD/$WINDOWS/tarnovell_stub.bin BENCH_QUIET_STUB=$BUILD/bench-windows/tarnovell_stub.bin
on_screen python3 "$ROOT/tools/bench_join.py"
rm -rf "$BENCH/set"
