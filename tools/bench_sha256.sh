#!/usr/bin/env bash
# Benchmark (not a test) of SHA-256 in the libraries Debian has for it (split --checksums, verify
# and join take the fastest; integrity/sha256.h): OpenSSL's libcrypto, nettle, libgcrypt and
# Crypto++ where its -dev package is installed, over the same buffer in one run, printing MB/s and
# each one's ratio to the fastest, and which SHA extensions the processor has.
# Usage: tools/bench_sha256.sh [MEBIBYTES [ROUNDS]] (default 1024, 3). Builds in $BUILD/bench-sha256.
source "$(dirname "$0")/script_common.sh"
OUT=$BUILD/bench-sha256
mkdir -p "$OUT"

libraries="libcrypto nettle libgcrypt"
defines=""
if pkg-config --exists libcrypto++; then
  libraries="$libraries libcrypto++"
  defines=-DBENCH_CRYPTOPP
fi
# shellcheck disable=SC2046,SC2086
g++ -std=c++17 -O2 $defines tools/bench_sha256.cpp -o "$OUT/bench_sha256" \
  $(pkg-config --cflags --libs $libraries)

echo "processor: $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)"
echo "  extensions: $(grep -o -w 'sha_ni\|avx2\|avx512f' /proc/cpuinfo | sort -u | tr '\n' ' ')"
for package in libssl3 libnettle8 libgcrypt20 libcrypto++8; do
  version=$(dpkg-query -W -f='${Version}' "$package:amd64" 2>/dev/null) && echo "  $package $version"
done
"$OUT/bench_sha256" "${1:-1024}" "${2:-3}"
