#!/usr/bin/env bash
# qemu-i386 for 32-bit Wine on machines whose kernel runs no 32-bit programs (tools/wine-run.sh).
#
#   qemu-i386.sh           fetch it once (cached), then print the path to hand to binfmt_misc
#   qemu-i386.sh --path    print that path if it is here; exit 1 if not
#
# It must be 8.1 or later: Debian 12's own 7.2 treats MAP_FIXED_NOREPLACE as a hint, and every
# Wine process then spends minutes reserving its address space. Debian 12's backports suite has
# 10.0; only that one .deb is fetched, through a private apt configuration, from the mirror this
# machine's apt already uses, so the machine's sources and installed packages stay as they are.
# The program is kept in TARNOVELL_QEMU_DIR (default ~/.cache/tarnovell/qemu), beside the name
# i386-binfmt-P, which tells qemu that argv[0] comes as given (binfmt_misc's P flag).
set -euo pipefail

DIR=${TARNOVELL_QEMU_DIR:-${XDG_CACHE_HOME:-${HOME:-/root}/.cache}/tarnovell/qemu}
QEMU=$DIR/qemu-i386
INTERPRETER=$DIR/i386-binfmt-P

recent_enough() {
  "$QEMU" --version 2>/dev/null | grep -Eq 'version (8\.[1-9]|9\.|[1-9][0-9]\.)'
}

if [ "${1:-}" = --path ]; then
  recent_enough && [ -L "$INTERPRETER" ] && { echo "$INTERPRETER"; exit 0; }
  exit 1
fi
if recent_enough && [ -L "$INTERPRETER" ]; then
  echo "$INTERPRETER"
  exit 0
fi

mirror=$(sed -n 's/^URIs:[[:space:]]*\([^[:space:]]*\/debian\)[[:space:]]*$/\1/p' \
  /etc/apt/sources.list.d/*.sources 2>/dev/null | head -n1)
[ -n "$mirror" ] || mirror=$(awk '$1 == "deb" && $3 == "bookworm" { print $2; exit }' /etc/apt/sources.list 2>/dev/null)
[ -n "$mirror" ] || { echo "qemu-i386.sh: no Debian mirror found in apt's sources" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/lists/partial" "$work/archives/partial" "$DIR"
echo "deb $mirror bookworm-backports main" >"$work/sources.list"
opts=(-o Dir::Etc::SourceList="$work/sources.list" -o Dir::Etc::SourceParts=/dev/null
      -o Dir::State::Lists="$work/lists" -o Dir::Cache="$work" -o Dir::Cache::archives="$work/archives"
      -o APT::Architectures::=amd64 -o APT::Sandbox::User=root -qq)
apt-get "${opts[@]}" update
(cd "$work" && apt-get "${opts[@]}" download qemu-user/bookworm-backports)
dpkg-deb -x "$work"/qemu-user_*.deb "$work/x"
cp "$work/x/usr/bin/qemu-i386" "$QEMU.new"
mv "$QEMU.new" "$QEMU"
ln -sfn qemu-i386 "$INTERPRETER"
recent_enough || { echo "qemu-i386.sh: $("$QEMU" --version | head -n1) is older than 8.1" >&2; exit 1; }
"$QEMU" --version | head -n1 >&2
echo "$INTERPRETER"
