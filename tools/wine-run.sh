#!/usr/bin/env bash
# Runs a Windows program under 32-bit Wine, in the project's own prefix, with the Russian
# locale (ANSI code page 1251). The prefix is made once and shared by every run.
set -euo pipefail
export WINEPREFIX="${TARNOVELL_WINEPREFIX:-${HOME:-/root}/.tarnovell-wine}"
export WINEARCH=win32
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml="
export LANG=ru_RU.UTF-8 LC_ALL=ru_RU.UTF-8
mkdir -p "$(dirname "$WINEPREFIX")"
(
  flock 9
  if [ ! -f "$WINEPREFIX/.tarnovell-ready" ]; then
    rm -rf "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w
    touch "$WINEPREFIX/.tarnovell-ready"
  fi
) 9>"$WINEPREFIX.lock"
exec wine "$@"
