#!/usr/bin/env bash
# Benchmark (not a test) of the piece digest, printed in one run:
#  1. code size in the 32-bit stub: the own CRC-32C, CRC-64 and digest block code, compiled with
#     the stub's own options as the nested 32-bit build uses them (without link-time
#     optimisation, so every function keeps a size of its own);
#  2. speed over 64 KB blocks in the cache: natively (x86-64; the own code with the stub's
#     options, ISA-L as Debian builds it);
#  3. the same own code in the 64-bit Windows build under 64-bit Wine (this machine runs no
#     32-bit programs; the CRC code takes the same 32-bit steps in both builds), and a copy of a
#     512 MiB file through ReadFile and WriteFile in 64 KB blocks as the stub copies a piece,
#     with and without hashing.
# Usage: tools/bench_digest.sh [MEBIBYTES [ROUNDS]] (per row and round; default 128, 15).
# Uses build/ (BUILD=... for another) for the Windows builds' options; scratch in $BUILD/bench-digest.
source "$(dirname "$0")/script_common.sh"
MEBIBYTES=${1:-128}
ROUNDS=${2:-15}

if [ ! -f "$BUILD/build.ninja" ]; then configure_test_build "$BUILD"; fi
cmake --build "$BUILD" --target windows windows64 >/dev/null
OUT=$BUILD/bench-digest
rm -rf "$OUT"
mkdir -p "$OUT"
trap 'rm -f "$OUT/copy.bin" "$OUT/copy.bin.copy"' EXIT

# The compiler options of a stub source in a nested Windows build, without link-time
# optimisation.
stub_flags() {
  awk -v src="integrity/crc32c.cpp.obj:" '$1 == "build" && index($2, src) { found = 1; next }
    found && $1 == "FLAGS" { $1 = ""; $2 = ""; print; exit }' "$1/build.ninja" | sed 's/-flto\b//g'
}
FLAGS32=$(stub_flags "$BUILD/windows")
FLAGS64=$(stub_flags "$BUILD/windows64")
[ -n "$FLAGS32" ] && [ -n "$FLAGS64" ] || { echo "no stub compiler options found in $BUILD/windows*/build.ninja" >&2; exit 1; }
HASHES="integrity/crc32c.cpp integrity/crc32c_own.cpp"

echo "== code size in the 32-bit stub (i686-w64-mingw32-g++$FLAGS32) =="
for source in integrity/crc32c.cpp integrity/crc32c_own.cpp integrity/crc64.cpp container/digest_block.cpp; do
  object=$OUT/$(basename "$source" .cpp).32.o
  # shellcheck disable=SC2086
  i686-w64-mingw32-g++ $FLAGS32 -I. -c "$source" -o "$object"
  total=0
  while read -r _ size kind name; do
    case $kind$name in t.text*|T.text*) continue ;; t*|T*) ;; *) continue ;; esac
    printf '  %5d  %s\n' $((16#$size)) "$name"
    total=$((total + 16#$size))
  done < <(i686-w64-mingw32-nm -S -C --size-sort "$object")
  printf '  %5d  bytes in %s\n\n' "$total" "$source"
done

echo "== speed over 64 KB blocks, native x86-64 (own code: g++$FLAGS64) =="
objects=""
for source in $HASHES; do
  # shellcheck disable=SC2086
  g++ $FLAGS64 -I. -c "$source" -o "$OUT/$(basename "$source" .cpp).native.o"
  objects="$objects $OUT/$(basename "$source" .cpp).native.o"
done
# shellcheck disable=SC2086
g++ -O2 -I. tools/bench_digest.cpp $objects -lisal -o "$OUT/bench_digest"
"$OUT/bench_digest" "$MEBIBYTES" "$ROUNDS"

echo
echo "== the own code in the 64-bit Windows build, under $(bash tools/wine-run.sh --arch)-bit Wine =="
objects=""
for source in $HASHES; do
  # shellcheck disable=SC2086
  x86_64-w64-mingw32-g++ $FLAGS64 -I. -c "$source" -o "$OUT/$(basename "$source" .cpp).win64.o"
  objects="$objects $OUT/$(basename "$source" .cpp).win64.o"
done
# shellcheck disable=SC2086
x86_64-w64-mingw32-g++ -O2 -static -DTARNOVELL_BENCH_OWN_ONLY -I. tools/bench_digest.cpp $objects -o "$OUT/bench_digest.exe"
head -c 512M /dev/urandom >"$OUT/copy.bin"
(cd "$OUT" && bash "$ROOT/tools/wine-run.sh" ./bench_digest.exe "$MEBIBYTES" "$ROUNDS" copy.bin)
