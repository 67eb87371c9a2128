#!/usr/bin/env bash
# Installing the tool as Linux users do: `cmake --install` into a prefix puts bin/tarnovell (the
# program built) and share/man/man1/tarnovell.1, whose text is the program's own --help and that
# of every command it lists; `cpack` makes a .deb of the same files under /usr, at the
# program's version; both also carry the bash and the zsh completion.
# Usage: install_test.sh BUILD_DIR TARNOVELL
set -u
build=$1 tool=$2
source "$(dirname "$0")/../support/shell_checks.sh"

cmake --install "$build" --prefix "$work/prefix" >"$work/install.log" 2>&1 || { cat "$work/install.log"; fail "cmake --install"; }
cmp -s "$work/prefix/bin/tarnovell" "$tool" || fail "bin/tarnovell is not the program built"
page=$work/prefix/share/man/man1/tarnovell.1
[ -f "$page" ] || fail "no man page at share/man/man1/tarnovell.1"
# Every line of every --help is in the page (roff escapes undone).
commands=$("$tool" --help | sed -n '/^Subcommands:/,/^$/p' | awk 'NR > 1 && NF {print $1}')
[ -n "$commands" ] || fail "--help lists no commands"
for command in "" $commands; do
  "$tool" $command --help >"$work/help.txt" || fail "$command --help"
  python3 - "$page" "$work/help.txt" <<'PY' || fail "the man page lacks lines of '$command --help'"
import sys
page = open(sys.argv[1], encoding="utf-8").read().replace("\\e", "\\").replace("\\&", "")
missing = [line for line in open(sys.argv[2], encoding="utf-8").read().splitlines() if line.strip() and line not in page]
for line in missing:
    print("  not in the page:", line)
sys.exit(1 if missing else 0)
PY
done
grep -q '^\.TH TARNOVELL 1 ' "$page" || fail "the page has no .TH line"
# The shell completion, as the sources hold it, where bash-completion and zsh look.
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
completions=("share/bash-completion/completions/tarnovell:cli/completion/tarnovell.bash"
             "share/zsh/vendor-completions/_tarnovell:cli/completion/_tarnovell")
for pair in "${completions[@]}"; do
  cmp -s "$work/prefix/${pair%%:*}" "$source_dir/${pair#*:}" || fail "${pair%%:*} is not ${pair#*:}"
done

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
fi
finish_checks "install checks"
