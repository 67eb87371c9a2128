#!/usr/bin/env bash
# Installs everything the build and the tests need on a fresh Debian 12 machine.
# Safe to run again: it installs only what is missing.
set -euo pipefail

need=(cmake g++ clang make ninja-build pkg-config googletest libgtest-dev libclang-rt-14-dev
      g++-multilib libgtest-dev:i386 libgmock-dev:i386
      g++-mingw-w64-i686 binutils-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 wine wine32:i386 wine64 xvfb xauth xdotool imagemagick
      locales libcli11-dev libisal-dev libgcrypt20-dev python3 time dpkg-dev zsh
      man-db groff-base bsdextrautils  # the man page's tests: man, groff, col
      # The joiner page: clang's wasm32-wasi target (wasm-ld, the C and C++ libraries), Binaryen;
      # its tests: Node and the browsers it drives, headless.
      lld-14 libc++-14-dev-wasm32 libc++abi-14-dev-wasm32 libclang-rt-14-dev-wasm32 wasi-libc binaryen
      nodejs chromium firefox-esr)
# npm, Debian's where Node came without one (builds of Node from elsewhere bring their own).
command -v npm >/dev/null || need+=(npm)

missing=()
for p in "${need[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The page tests' driver (tests/page/package-lock.json): puppeteer-core, which fetches no browser.
page_tests=$(dirname "$0")/../tests/page
if [ ! -f "$page_tests/node_modules/.package-lock.json" ] ||
   [ "$page_tests/package-lock.json" -nt "$page_tests/node_modules/.package-lock.json" ]; then
  (cd "$page_tests" && PUPPETEER_SKIP_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error >/dev/null)
fi

# Wine needs a real ru_RU.UTF-8 locale to decode UTF-8 file names and to use code page 1251.
if ! locale -a 2>/dev/null | grep -qi '^ru_RU\.utf-\?8$'; then
  sed -i 's/^# *\(ru_RU.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^ru_RU.UTF-8 UTF-8' /etc/locale.gen || echo 'ru_RU.UTF-8 UTF-8' >> /etc/locale.gen
  locale-gen >/dev/null
fi

# qemu-i386 (8.1 or later, cached): 32-bit Wine runs under it where the kernel runs no 32-bit
# programs, and every machine runs the stub under it once on a processor without SSE4.2.
if ! bash "$(dirname "$0")/qemu-i386.sh" >/dev/null; then
  echo "setup.sh: WARNING: qemu-i386 could not be had; tools/wine-run.sh says what that leaves" >&2
fi
