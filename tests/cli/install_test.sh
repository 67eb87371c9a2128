#!/usr/bin/env bash
# Installing the tool as Linux users do: `cmake --install` into a prefix puts bin/tarnovell (the
# program built), share/man/man1/tarnovell.1.gz, whose text is the program's own --help and that
# of every command it lists, and the copyright, changelog and README under share/doc/tarnovell;
# `cpack` makes a .deb of the same files under /usr, at the program's version, as Debian wants
# it: the binary stripped, the page gzipped with -9n, a DEP-5 copyright file, the shared
# libraries' packages in Depends, the Installed-Size of its files, and nothing lintian (where it
# is installed) calls an error or a warning. Both also carry the bash and the zsh completion.
# Usage: install_test.sh BUILD_DIR TARNOVELL
set -u
build=$1 tool=$2
source "$(dirname "$0")/../support/shell_checks.sh"

cmake --install "$build" --prefix "$work/prefix" >"$work/install.log" 2>&1 || { cat "$work/install.log"; fail "cmake --install"; }
cmp -s "$work/prefix/bin/tarnovell" "$tool" || fail "bin/tarnovell is not the program built"
page=$work/prefix/share/man/man1/tarnovell.1.gz
[ -f "$page" ] || fail "no man page at share/man/man1/tarnovell.1.gz"
# Every text of every --help is in the page as man shows it: the descriptions, the usage lines,
# each entry of a listing (options, commands, examples, exit codes) with its description.
MANWIDTH=200 man -l "$page" 2>/dev/null | col -bx >"$work/page.txt"
commands=$("$tool" --help | sed -n '/^Subcommands:/,/^$/p' | awk '/^  [^ ]/ {print $1}')
[ -n "$commands" ] || fail "--help lists no commands"
for command in "" $commands; do
  "$tool" $command --help >"$work/help.txt" || fail "$command --help"
  python3 - "$work/page.txt" "$work/help.txt" <<'PY' || fail "the man page lacks texts of '$command --help'"
import re, sys
def words(text):
    return " ".join(text.replace("\u2010", "-").replace("\u2212", "-").replace("\u2019", "'").split())
page = words(open(sys.argv[1], encoding="utf-8").read())
units, previous = [], None
for line in open(sys.argv[2], encoding="utf-8").read().splitlines():
    indent = len(line) - len(line.lstrip())
    if not line.strip() or re.fullmatch(r"[A-Z][A-Za-z ]*:", line):
        previous = None  # a blank line or a heading ends a text
    elif line.startswith("Exit codes: "):
        previous = None  # a command's pointer to the exit codes, which the page lists itself
    elif previous is None or indent == 2 or (indent == 0 and previous > 0):
        units.append(line.removeprefix("Usage: "))
        previous = indent
    else:
        units[-1] += " " + line
missing = [unit for unit in units if words(unit) not in page]
for unit in missing:
    print("  not in the page:", words(unit))
sys.exit(1 if missing else 0)
PY
done
zcat "$page" | grep -q '^\.TH TARNOVELL 1 ' || fail "the page has no .TH line"
# The shell completion, as the sources hold it, where bash-completion and zsh look.
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
completions=("share/bash-completion/completions/tarnovell:cli/completion/tarnovell.bash"
             "share/zsh/vendor-completions/_tarnovell:cli/completion/_tarnovell")
for pair in "${completions[@]}"; do
  cmp -s "$work/prefix/${pair%%:*}" "$source_dir/${pair#*:}" || fail "${pair%%:*} is not ${pair#*:}"
done

# The package as Debian wants it (see the top of the file).
check_package() {
  local deb=$1 root=$work/deb
  dpkg-deb -x "$deb" "$root"
  # It carries what `cmake --install` puts in place, under /usr.
  diff <(cd "$work/prefix" && find . -type f | sort) <(cd "$root/usr" && find . -type f | sort) >"$work/files.diff" ||
    { fail "the .deb's files differ from what cmake --install puts in place:"; cat "$work/files.diff"; }
  readelf -S "$root/usr/bin/tarnovell" | grep -q '\.symtab' && fail "/usr/bin/tarnovell is not stripped"
  python3 - "$root/usr/share/man/man1/tarnovell.1.gz" <<'PY' || fail "the man page is not gzipped with -9n"
import sys
head = open(sys.argv[1], "rb").read(10)
# gzip's header: the magic, no file name (FLG bit 3), no time, the "slowest, best" flag (XFL 2).
sys.exit(0 if head[:2] == b"\x1f\x8b" and not head[3] & 8 and head[4:8] == b"\0" * 4 and head[8] == 2 else 1)
PY
  local doc=$root/usr/share/doc/tarnovell
  head -1 "$doc/copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
    fail "the copyright file is not in the machine-readable format"
  for field in Files Copyright License; do
    grep -q "^$field: ." "$doc/copyright" || fail "the copyright file has no $field field"
  done
  zcat "$doc/changelog.gz" | head -1 | grep -q "^tarnovell ($version) " || fail "changelog.gz does not start with $version"
  dpkg-deb -f "$deb" Maintainer | grep -qE '^[^<]+ <[^@ ]+@[^@ ]+\.[a-z]+>$' || fail "Maintainer: $(dpkg-deb -f "$deb" Maintainer)"
  # Description: the synopsis, then a long description of indented lines, paragraphs split by " .".
  dpkg-deb -f "$deb" Description >"$work/description"
  [ "$(wc -l <"$work/description")" -ge 3 ] || fail "the Description has no long description"
  grep -v '^ ' <(tail -n +2 "$work/description") && fail "a long description line is not indented"
  # Depends names the package of every library the binary needs.
  local depends library path owner
  depends=$(dpkg-deb -f "$deb" Depends)
  for library in $(readelf -d "$root/usr/bin/tarnovell" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
    path=$(ldd "$tool" | awk -v l="$library" '$1 == l {print $3; exit}')
    owner=$(dpkg -S "$(realpath "$path")" 2>/dev/null | head -1 | cut -d: -f1)
    [ -n "$owner" ] || owner=$(dpkg -S "$path" 2>/dev/null | head -1 | cut -d: -f1)
    [ -n "$owner" ] || { fail "no package holds $library ($path)"; continue; }
    tr ',' '\n' <<<"$depends" | awk '{print $1}' | grep -qxF "$owner" || fail "Depends ($depends) lacks $owner, for $library"
  done
  # Installed-Size in KiB: dpkg's count (each file rounded up to a KiB, a KiB a folder), or up to
  # the 4 KiB a folder takes on disk more (CPack counts a folder so).
  local size kib folders
  size=$(dpkg-deb -f "$deb" Installed-Size)
  kib=$(find "$root/usr" -type f -printf '%s\n' | awk '{k += int(($1 + 1023) / 1024)} END {print k}')
  folders=$(find "$root/usr" -type d | wc -l)
  [ "$size" -ge $((kib + folders)) ] && [ "$size" -le $((kib + 4 * folders)) ] ||
    fail "Installed-Size $size, the files take $kib KiB in $folders folders"
  if command -v lintian >/dev/null; then
    lintian --no-tag-display-limit "$deb" >"$work/lintian.txt" 2>&1
    grep -E '^[EW]: ' "$work/lintian.txt" && fail "lintian finds errors or warnings in the .deb"
  else
    echo "lintian is not installed: the .deb is not checked by it"
  fi
}

version=$("$tool" --version | sed 's/^tarnovell //')
(cd "$work" && cpack --config "$build/CPackConfig.cmake" -B "$work/packages" >"$work/cpack.log" 2>&1) ||
  { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/packages/*.deb 2>/dev/null | head -1)
if [ -z "$deb" ]; then
  fail "cpack made no .deb"
else
  [ "$(dpkg-deb -f "$deb" Package)" = tarnovell ] || fail "package name: $(dpkg-deb -f "$deb" Package)"
  [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version $(dpkg-deb -f "$deb" Version), program $version"
  contents=$(dpkg-deb -c "$deb")
  grep -q ' \./usr/bin/tarnovell$' <<<"$contents" || fail "the .deb has no /usr/bin/tarnovell"
  grep -q ' \./usr/share/man/man1/tarnovell\.1' <<<"$contents" || fail "the .deb has no man page"
  for pair in "${completions[@]}"; do
    grep -q " \./usr/${pair%%:*}\$" <<<"$contents" || fail "the .deb has no /usr/${pair%%:*}"
  done
  check_package "$deb"
fi
finish_checks "install checks"
