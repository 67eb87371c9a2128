#!/usr/bin/env bash
# Benchmark (not a test) of the recovery files' encode, printed in one run:
#  1. code size of our own GF(2^8) code (recovery/gf256*.cpp) in the 32-bit stub, compiled with
#     the stub's own options as the nested 32-bit build uses them (without link-time optimisation,
#     so every function keeps a size of its own);
#  2. speed natively (x86-64, -O3 as the Windows tool's Release build): ISA-L's ec_encode_data
#     against our own code (the way GfEncode picks: AVX2, SSSE3 or the table), the SSSE3 way, the
#     stub's (GfEncodeRow: one output at a time, SSSE3 or the table) and the table way alone, on the
#     same bytes, a 1 MiB stripe per file at a time; best and median of the rounds, and their
#     ratios.
# Usage: tools/bench_gf256.sh [MEBIBYTES [ROUNDS [K [ROWS]]]] (default 256 MiB, 7 rounds, 10 files,
# 2 rows). Uses build/ (BUILD=... for another) for the stub's options; scratch in $BUILD/bench-gf256.
source "$(dirname "$0")/script_common.sh"

if [ ! -f "$BUILD/build.ninja" ]; then configure_test_build "$BUILD"; fi
cmake --build "$BUILD" --target windows >/dev/null
OUT=$BUILD/bench-gf256
rm -rf "$OUT"
mkdir -p "$OUT"
SOURCES="recovery/gf256.cpp recovery/gf256_ssse3.cpp recovery/gf256_shuffle.cpp"

# The compiler options of a stub source in the nested 32-bit build, without link-time optimisation.
FLAGS32=$(awk -v src="integrity/crc32c.cpp.obj:" '$1 == "build" && index($2, src) { found = 1; next }
  found && $1 == "FLAGS" { $1 = ""; $2 = ""; print; exit }' "$BUILD/windows/build.ninja" | sed 's/-flto\b//g')
[ -n "$FLAGS32" ] || { echo "no stub compiler options found in $BUILD/windows/build.ninja" >&2; exit 1; }

echo "== code size in the 32-bit stub (i686-w64-mingw32-g++$FLAGS32) =="
for source in $SOURCES; do
  object=$OUT/$(basename "$source" .cpp).32.o
  # shellcheck disable=SC2086
  i686-w64-mingw32-g++ $FLAGS32 -I. -c "$source" -o "$object" || exit 1
  total=0
  while read -r _ size kind name; do
    case $kind$name in t.text*|T.text*) continue ;; t*|T*) ;; *) continue ;; esac
    printf '  %5d  %s\n' $((16#$size)) "$name"
    total=$((total + 16#$size))
  done < <(i686-w64-mingw32-nm -S -C --size-sort "$object")
  printf '  %5d  bytes in %s\n\n' "$total" "$source"
done

echo "== encode speed, native x86-64 =="
# shellcheck disable=SC2086
g++ -O3 -std=c++17 -I. tools/bench_gf256.cpp $SOURCES -lisal -o "$OUT/bench_gf256" || exit 1
"$OUT/bench_gf256" "$@" >"$OUT/times.txt" || exit 1
for way in ours ssse3 stub table; do
  echo "-- ISA-L against $way"
  grep -E "^(isal|$way) " "$OUT/times.txt" >"$OUT/$way.txt"
  python3 tools/bench_summary.py "$OUT/$way.txt" isal "$way"
done
