#!/usr/bin/env bash
# The one place that decides how Windows programs run here, and runs them. Three ways:
#
#   native32  32-bit Wine and the 32-bit build (build/windows: the stub every container carries),
#             where this machine runs 32-bit programs;
#   qemu32    the same 32-bit Wine and build where the kernel runs no 32-bit programs ("Exec
#             format error"): every 32-bit Wine process runs under qemu-i386 (tools/qemu-i386.sh)
#             in a private user and mount namespace whose own binfmt_misc hands i386 programs to
#             qemu; they talk to the native 64-bit wineserver. Nothing outside sees the namespace;
#   wine64    64-bit Wine and the 64-bit build of the same sources (build/windows64): asked for,
#             or the fallback when neither 32-bit way can be had (said loudly, with the reason).
#
# TARNOVELL_WINE_ARCH=32 or 64 forces the kind (32: natively where the machine can, else under
# qemu); TARNOVELL_WINE_QEMU=1 takes the qemu way even where the machine runs 32-bit programs, and
# QEMU_CPU then names the processor qemu shows (Penryn: one without SSE4.2).
#
#   wine-run.sh PROGRAM [ARGS...]   run a Windows program (exit code: the program's)
#   wine-run.sh --arch              print 32 or 64
#   wine-run.sh --mode              print native32, qemu32 or wine64
#   wine-run.sh --explain           one line: the choice and why it was made
#   wine-run.sh --facts             mode=, arch=, slowness= (how many times longer a Windows
#                                   program takes here than under native Wine), qemu_slowness=
#                                   (the same under qemu-i386), linux32= (native or qemu: how
#                                   --linux32 runs) and why=, a line each
#   wine-run.sh --server [ARGS...]  the matching wineserver (-k ends every program, -w waits)
#   wine-run.sh --prefix            print the prefix the runs use
#   wine-run.sh --linux32 PROGRAM [ARGS...]
#                                   run a 32-bit Linux program (the -m32 tests) the same way:
#                                   natively, or under qemu-i386 in such a namespace
#
# Every run has the Russian locale (ANSI code page 1251) and the project's own prefix, made once
# and shared: TARNOVELL_WINEPREFIX (default ~/.tarnovell-wine), with "64" appended for 64-bit
# Wine, so the two kinds never share a prefix (both 32-bit ways share one). TARNOVELL_WINE_LOCALE
# names another system locale: en_US (code page 1252) or ja_JP (932); each gets a prefix of its
# own, "-en_US" or "-ja_JP" appended before the "64" (Wine keeps locale settings in a prefix).
set -euo pipefail

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
WINE32=${TARNOVELL_WINE32:-/usr/lib/wine/wine}  # the 32-bit loader (tests of this choice give a stand-in)
WINE64=/usr/lib/wine/wine64
SERVER64=/usr/lib/wine/wineserver64

die() { echo "wine-run.sh: $*" >&2; exit 64; }

# A new private user and mount namespace (the command after it runs there).
NAMESPACE=(unshare --user --map-root-user --mount --propagation private)

# Runs this script again with the same arguments inside such a namespace, whose binfmt_misc
# hands i386 programs to qemu-i386 (interpreter: $1).
enter_qemu_namespace() {
  local interpreter=$1
  shift
  exec "${NAMESPACE[@]}" env TARNOVELL_IN_QEMU_NS="$interpreter" bash "$HERE/wine-run.sh" "$@"
}

# Inside that namespace: its own binfmt_misc, with qemu-i386 for i386 programs. Flags: P keeps
# argv[0], O opens the program for qemu, F loads qemu now (the folder it lies in is not needed
# later).
register_qemu() {
  local misc=/proc/sys/fs/binfmt_misc
  [ -e "$misc/qemu-i386" ] && return
  [ -e "$misc/register" ] || mount -t binfmt_misc binfmt_misc "$misc"
  echo ":qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:$TARNOVELL_IN_QEMU_NS:POF" \
    >"$misc/register"
}

# Whether 32-bit Wine starts under qemu in such a namespace here (about 0.2 s).
qemu_works() {
  "${NAMESPACE[@]}" env TARNOVELL_IN_QEMU_NS="$1" bash "$HERE/wine-run.sh" --probe >/dev/null 2>&1
}

# Sets MODE (native32, qemu32 or wine64), WHY, and QEMU (the interpreter, for qemu32).
choose_mode() {
  local forced=${TARNOVELL_WINE_ARCH:-}
  case "$forced" in 32|64|"") ;; *) die "TARNOVELL_WINE_ARCH must be 32 or 64, not '$forced'" ;; esac
  QEMU=${TARNOVELL_IN_QEMU_NS:-}
  if [ -n "$QEMU" ]; then
    MODE=qemu32 WHY="this process runs in the namespace that hands 32-bit programs to $QEMU"
    return
  fi
  if [ "$forced" = 64 ]; then
    MODE=wine64 WHY="TARNOVELL_WINE_ARCH=64 asks for it"
    return
  fi
  if [ ! -x "$WINE32" ]; then
    [ "$forced" != 32 ] || die "TARNOVELL_WINE_ARCH=32, but 32-bit Wine is not installed (no $WINE32): run tools/setup.sh"
    MODE=wine64 WHY="WARNING: the 64-bit fallback, not the stub users get: 32-bit Wine is not installed (no $WINE32)"
    return
  fi
  local native=0
  "$WINE32" --version >/dev/null 2>&1 && native=1
  if [ $native = 1 ] && [ "${TARNOVELL_WINE_QEMU:-}" != 1 ]; then
    MODE=native32 WHY="this machine runs 32-bit programs: $WINE32 --version works"
    if [ "$forced" = 32 ]; then WHY="TARNOVELL_WINE_ARCH=32 asks for it, and $WHY"; fi
    return
  fi
  local reason="this machine runs no 32-bit programs ($WINE32 --version fails)"
  [ $native = 1 ] && reason="TARNOVELL_WINE_QEMU=1 asks for qemu-i386"
  if ! QEMU=$(bash "$HERE/qemu-i386.sh" --path); then
    if [ "$forced" = 32 ] || [ $native = 1 ]; then die "$reason, but there is no qemu-i386 8.1+: run tools/setup.sh"; fi
    MODE=wine64 WHY="WARNING: the 64-bit fallback, not the stub users get: $reason, and there is no qemu-i386 8.1+ (tools/qemu-i386.sh fetches it)"
  elif [ "$forced" = 32 ] || [ $native = 1 ] || qemu_works "$QEMU"; then
    MODE=qemu32 WHY="$reason: 32-bit Wine runs under $QEMU${QEMU_CPU:+ (processor $QEMU_CPU)} in a private namespace"
  else
    MODE=wine64 WHY="WARNING: the 64-bit fallback, not the stub users get: $reason, and 32-bit Wine does not start under qemu-i386 in a private namespace (is unshare --user allowed, and is the kernel 6.7 or later?)"
  fi
}

# Exports the environment of a run of the chosen kind.
wine_environment() {
  local base="${TARNOVELL_WINEPREFIX:-${HOME:-/root}/.tarnovell-wine}"
  local locale=${TARNOVELL_WINE_LOCALE:-ru_RU}
  case "$locale" in
    ru_RU) ;;
    en_US|ja_JP) base="$base-$locale" ;;
    *) die "TARNOVELL_WINE_LOCALE must be ru_RU, en_US or ja_JP, not '$locale'" ;;
  esac
  if [ "$MODE" = wine64 ]; then
    export WINEPREFIX="${base}64" WINEARCH=win64 WINELOADER=$WINE64 WINESERVER=$SERVER64
    LOADER=$WINE64 SERVER=$SERVER64
  else
    export WINEPREFIX="$base" WINEARCH=win32
    unset WINELOADER WINESERVER
    LOADER=wine SERVER=wineserver
  fi
  export WINEDEBUG="${WINEDEBUG:--all}"
  export WINEDLLOVERRIDES="mscoree,mshtml="
  export LANG=$locale.UTF-8 LC_ALL=$locale.UTF-8
}

# Makes the prefix once (about 12 s for 64-bit Wine, 25 s for 32-bit, a minute under qemu);
# later runs share it.
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

arch() { if [ "$MODE" = wine64 ]; then echo 64; else echo 32; fi; }

# How 32-bit Linux programs run here (--linux32): native or qemu.
linux32() {
  if [ "$MODE" = native32 ]; then echo native; return; fi
  if [ "$MODE" = wine64 ] && [ "${TARNOVELL_WINE_QEMU:-}" != 1 ] && "$WINE32" --version >/dev/null 2>&1; then
    echo native
  else
    echo qemu
  fi
}

# Under qemu a window takes 12-16 s to appear where native Wine takes 4, on a loaded machine more.
QEMU_SLOWNESS=4
slowness() { if [ "$MODE" = qemu32 ]; then echo $QEMU_SLOWNESS; else echo 1; fi; }

choose_mode
case "${1:-}" in
  --arch) arch ;;
  --mode) echo "$MODE" ;;
  --explain) echo "Windows programs: $MODE, because $WHY" ;;
  --facts) printf 'mode=%s\narch=%s\nslowness=%s\nqemu_slowness=%s\nlinux32=%s\nwhy=%s\n' \
             "$MODE" "$(arch)" "$(slowness)" $QEMU_SLOWNESS "$(linux32)" "$WHY" ;;
  --server) shift; wine_environment; exec "$SERVER" "$@" ;;
  --prefix) wine_environment; echo "$WINEPREFIX" ;;
  --probe) register_qemu; exec "$WINE32" --version ;;
  --linux32)  # a 32-bit Linux program: natively where the machine runs them, else under qemu
    shift
    if [ -n "${TARNOVELL_IN_QEMU_NS:-}" ]; then
      register_qemu
      export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}  # leak checking hangs at exit under qemu
    elif [ "$(linux32)" = qemu ]; then
      QEMU=$(bash "$HERE/qemu-i386.sh" --path) || die "no qemu-i386 8.1+ for 32-bit programs: run tools/setup.sh"
      enter_qemu_namespace "$QEMU" --linux32 "$@"
    fi
    exec "$@" ;;
  "") die "usage: wine-run.sh PROGRAM [ARGS...] | --arch | --mode | --explain | --facts | --server [ARGS...] | --prefix" ;;
  *)
    if [ "$MODE" = qemu32 ]; then
      [ -n "${TARNOVELL_IN_QEMU_NS:-}" ] || enter_qemu_namespace "$QEMU" "$@"
      register_qemu
    fi
    wine_environment
    ensure_prefix
    exec "$LOADER" "$@" ;;
esac
