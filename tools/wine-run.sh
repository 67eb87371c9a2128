#!/usr/bin/env bash
# The one place that decides how Windows programs run here, and runs them.
#
# Where this machine runs 32-bit programs: 32-bit Wine and the 32-bit build (build/windows).
# Where it does not (its kernel refuses even the 32-bit loader with "Exec format error"): 64-bit
# Wine and the 64-bit build of the same sources (build/windows64). TARNOVELL_WINE_ARCH=32 or 64
# forces a choice.
#
#   wine-run.sh PROGRAM [ARGS...]   run a Windows program (exit code: the program's)
#   wine-run.sh --arch              print 32 or 64
#   wine-run.sh --explain           one line: the choice and why it was made
#   wine-run.sh --server [ARGS...]  the matching wineserver (-k ends every program, -w waits)
#   wine-run.sh --prefix            print the prefix the runs use
#
# Every run has the Russian locale (ANSI code page 1251) and the project's own prefix, made once
# and shared: TARNOVELL_WINEPREFIX (default ~/.tarnovell-wine), with "64" appended for 64-bit
# Wine, so the two kinds never share a prefix.
set -euo pipefail

WINE32=/usr/lib/wine/wine
WINE64=/usr/lib/wine/wine64
SERVER64=/usr/lib/wine/wineserver64

# Sets ARCH (32 or 64) and WHY.
choose_arch() {
  case "${TARNOVELL_WINE_ARCH:-}" in
    32|64) ARCH=$TARNOVELL_WINE_ARCH WHY="TARNOVELL_WINE_ARCH=$TARNOVELL_WINE_ARCH asks for it"; return ;;
    "") ;;
    *) echo "wine-run.sh: TARNOVELL_WINE_ARCH must be 32 or 64, not '$TARNOVELL_WINE_ARCH'" >&2; exit 64 ;;
  esac
  if [ ! -x "$WINE32" ]; then
    ARCH=64 WHY="32-bit Wine is not installed: no $WINE32"
  elif "$WINE32" --version >/dev/null 2>&1; then
    ARCH=32 WHY="this machine runs 32-bit programs: $WINE32 --version works"
  else
    ARCH=64 WHY="this machine runs no 32-bit programs: $WINE32 --version fails"
  fi
}

# Exports the environment of a run of the chosen kind.
wine_environment() {
  local base="${TARNOVELL_WINEPREFIX:-${HOME:-/root}/.tarnovell-wine}"
  if [ "$ARCH" = 64 ]; then
    export WINEPREFIX="${base}64" WINEARCH=win64 WINELOADER=$WINE64 WINESERVER=$SERVER64
    LOADER=$WINE64 SERVER=$SERVER64
  else
    export WINEPREFIX="$base" WINEARCH=win32
    unset WINELOADER WINESERVER
    LOADER=wine SERVER=wineserver
  fi
  export WINEDEBUG="${WINEDEBUG:--all}"
  export WINEDLLOVERRIDES="mscoree,mshtml="
  export LANG=ru_RU.UTF-8 LC_ALL=ru_RU.UTF-8
}

# Makes the prefix once (about 12 s for 64-bit Wine, 25 s for 32-bit); later runs share it.
ensure_prefix() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/.tarnovell-ready" ]; then
      rm -rf "$WINEPREFIX"
      "$LOADER" wineboot -i >/dev/null 2>&1 || true
      "$SERVER" -w
      touch "$WINEPREFIX/.tarnovell-ready"
    fi
  ) 9>"$WINEPREFIX.lock"
}

choose_arch
case "${1:-}" in
  --arch) echo "$ARCH" ;;
  --explain) echo "Windows programs: ${ARCH}-bit Wine and the ${ARCH}-bit build, because $WHY" ;;
  --server) shift; wine_environment; exec "$SERVER" "$@" ;;
  --prefix) wine_environment; echo "$WINEPREFIX" ;;
  "") echo "usage: wine-run.sh PROGRAM [ARGS...] | --arch | --explain | --server [ARGS...] | --prefix" >&2; exit 64 ;;
  *) wine_environment; ensure_prefix; exec "$LOADER" "$@" ;;
esac
