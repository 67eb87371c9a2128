# What the demo, the benchmarks and the screenshot script share; each sources this file first.
# It stops a script at its first failure, makes the repository's root the current folder and
# ROOT, and BUILD (default build/, or as the caller set it) an absolute path.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
ROOT=$PWD
BUILD=${BUILD:-build}
case $BUILD in /*) ;; *) BUILD=$ROOT/$BUILD ;; esac

# configure_test_build DIR: the build the tests, the demo and the benchmarks share: Debug, with
# the native code under AddressSanitizer and UBSan, and the tests and fuzzers.
configure_test_build() {
  cmake -S . -B "$1" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTARNOVELL_SANITIZE=ON -DTARNOVELL_TESTS=ON >/dev/null
}

# Says which Wine runs the stub here, and why; sets MODE (native32, qemu32 or wine64), ARCH (32
# or 64), WINDOWS (the nested build of that stub) and TOOLCHAIN (its toolchain file in cmake/).
choose_wine() {
  local facts
  facts=$(bash tools/wine-run.sh --facts)
  MODE=$(sed -n 's/^mode=//p' <<<"$facts")
  ARCH=$(sed -n 's/^arch=//p' <<<"$facts")
  echo "Windows programs: $MODE, because $(sed -n 's/^why=//p' <<<"$facts")"
  if [ "$ARCH" = 64 ]; then WINDOWS=windows64 TOOLCHAIN=mingw-x86_64; else WINDOWS=windows TOOLCHAIN=mingw-i686; fi
}

# Exports what the end-to-end library (tests/e2e/tarnovell_e2e.py) reads: the build BUILD and
# the Wine that choose_wine chose.
export_e2e_env() {
  export PYTHONPATH=$ROOT/tests/e2e PYTHONDONTWRITEBYTECODE=1
  export TARNOVELL_BUILD_DIR=$BUILD TARNOVELL_WINE_ARCH=$ARCH
  if [ "$MODE" = qemu32 ]; then export TARNOVELL_WINE_QEMU=1; fi
}

# on_screen COMMAND...: runs it on the X display, or on a virtual screen where there is none.
on_screen() {
  if [ -n "${DISPLAY:-}" ]; then
    "$@"
  else
    xvfb-run -a -s "-screen 0 1024x768x24" "$@"
  fi
}

# scratch_dir NAME: sets work to a new folder in BENCH_DIR (default: TMPDIR, else /tmp), named
# after NAME, and removes it when the script ends.
scratch_dir() {
  work=$(mktemp -d "${BENCH_DIR:-${TMPDIR:-/tmp}}/$1.XXXXXX")
  trap 'rm -rf "$work"' EXIT
}

# random_set TOOL NAME MIB [SPLIT OPTIONS...]: NAME.bin of MIB MiB (a multiple of 8) of random
# bytes, cut by TOOL into NAME.exe, NAME.c001, ... with the options given; lists the set.
random_set() {
  local tool=$1 name=$2 mib=$3
  shift 3
  dd if=/dev/urandom of="$name.bin" bs=8M count=$((mib / 8)) status=none
  "$tool" split -q "$@" "$name.bin"
  ls -l "$name".exe "$name".c0* | awk '{print "  " $5 "  " $9}'
}

# release_tool DIR [BINARY]: tool := BINARY as an absolute path; without one, the tarnovell of a
# release build without sanitizers, made in DIR.
release_tool() {
  tool=${2:-}
  if [ -z "$tool" ]; then
    cmake -S . -B "$1" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTARNOVELL_SANITIZE=OFF >/dev/null
    cmake --build "$1" --target tarnovell >/dev/null
    tool=$PWD/$1/cli/tarnovell
  fi
  tool=$(readlink -f "$tool")
}
