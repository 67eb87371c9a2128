#!/usr/bin/env bash
# How tools/wine-run.sh chooses the way Windows programs run, on every kind of machine, whatever
# kind this one is. The 32-bit loader is a stand-in that answers --version as the machine would:
# natively, only where the namespace has handed i386 programs to qemu, or never. qemu is a
# stand-in too (only its version and name are read; nothing is emulated).
#   wine_run_choice_test.sh WINE_RUN
source "$(dirname "$0")/../support/shell_checks.sh"
WINE_RUN=$1

loader() {  # loader NAME BODY: a stand-in 32-bit loader
  printf '#!/bin/sh\n%s\n' "$2" >"$work/$1"
  chmod +x "$work/$1"
}
loader runs 'echo wine-8.0; exit 0'
loader refused 'exit 126'  # what a shell gives for "Exec format error"
loader under-qemu '[ -e /proc/sys/fs/binfmt_misc/qemu-i386 ] && { echo wine-8.0; exit 0; }; exit 126'

mkdir "$work/qemu" "$work/no-qemu"
printf '#!/bin/sh\necho "qemu-i386 version 10.0.2"\n' >"$work/qemu/qemu-i386"
chmod +x "$work/qemu/qemu-i386"
ln -s qemu-i386 "$work/qemu/i386-binfmt-P"

# facts LOADER QEMU_DIR [VAR=VALUE...]: wine-run.sh --facts there, into facts.txt; its status.
facts() {
  local loader=$1 qemu=$2
  shift 2
  env -u TARNOVELL_WINE_ARCH -u TARNOVELL_WINE_QEMU -u TARNOVELL_IN_QEMU_NS \
    TARNOVELL_WINE32="$work/$loader" TARNOVELL_QEMU_DIR="$work/$qemu" "$@" \
    bash "$WINE_RUN" --facts >facts.txt 2>errors.txt
}
# expect DESCRIPTION MODE SLOWNESS [TEXT IN why=]
expect() {
  contains "$1: mode" facts.txt "mode=$2"
  contains "$1: slowness" facts.txt "slowness=$3"
  if [ -n "${4:-}" ]; then contains "$1: why" facts.txt "$4"; fi
}

facts runs qemu; check "runs 32-bit programs" 0 $?
expect "runs 32-bit programs" native32 1 "runs 32-bit programs"
contains "runs 32-bit programs: Linux ones too" facts.txt "linux32=native"
if grep -q WARNING facts.txt; then fail "the native way is no fallback"; fi

facts under-qemu qemu; check "no 32-bit programs, qemu at hand" 0 $?
expect "no 32-bit programs, qemu at hand" qemu32 4 "runs no 32-bit programs"
contains "no 32-bit programs, qemu at hand: arch" facts.txt "arch=32"
contains "no 32-bit programs, qemu at hand: Linux ones" facts.txt "linux32=qemu"

facts under-qemu no-qemu; check "no qemu" 0 $?
expect "no qemu" wine64 1 "WARNING: the 64-bit fallback"
contains "no qemu: the reason" facts.txt "there is no qemu-i386 8.1+"

facts refused qemu; check "qemu that cannot start Wine" 0 $?
expect "qemu that cannot start Wine" wine64 1 "WARNING: the 64-bit fallback"
contains "qemu that cannot start Wine: the reason" facts.txt "does not start under qemu-i386"

facts missing qemu; check "no 32-bit Wine" 0 $?
expect "no 32-bit Wine" wine64 1 "32-bit Wine is not installed"

facts runs qemu TARNOVELL_WINE_ARCH=64; check "64 asked for" 0 $?
expect "64 asked for" wine64 1 "TARNOVELL_WINE_ARCH=64 asks for it"
if grep -q WARNING facts.txt; then fail "64-bit Wine asked for is no fallback"; fi
contains "64 asked for: 32-bit Linux programs still native" facts.txt "linux32=native"
facts refused qemu TARNOVELL_WINE_ARCH=64
contains "64 asked for, no 32-bit programs: Linux ones under qemu" facts.txt "linux32=qemu"

facts runs qemu TARNOVELL_WINE_QEMU=1; check "qemu asked for" 0 $?
expect "qemu asked for" qemu32 4 "TARNOVELL_WINE_QEMU=1"

# Forced 32 goes under qemu without asking the namespace first; without qemu it is an error.
facts refused qemu TARNOVELL_WINE_ARCH=32; check "32 asked for, under qemu" 0 $?
expect "32 asked for, under qemu" qemu32 4
facts refused no-qemu TARNOVELL_WINE_ARCH=32; check "32 asked for, no way to run it" 64 $?
contains "32 asked for, no way to run it: message" errors.txt "run tools/setup.sh"
facts runs qemu TARNOVELL_WINE_ARCH=16; check "an unknown kind" 64 $?

finish_checks "choices of tools/wine-run.sh"
