#!/usr/bin/env bash
# The help as users read it in an 80-column terminal: no line of the program's --help or of any
# command's is wider than 80 characters, options show named placeholders rather than CLI11's
# type names, and the man page, rendered by man at MANWIDTH=80, has its sections in order, no
# line wider than 80 and nothing man warns about.
# Usage: help_test.sh TARNOVELL MAN_PAGE
set -u
tool=$1 page=$2
source "$(dirname "$0")/../support/shell_checks.sh"
export LC_ALL=C.UTF-8

# Lines of FILE wider than 80 characters, each printed; false when there is one.
fits_80() {
  python3 - "$1" <<'PY'
import sys
wide = [line for line in open(sys.argv[1], encoding="utf-8").read().splitlines() if len(line) > 80]
for line in wide:
    print(f"  {len(line)} columns: {line}")
sys.exit(1 if wide else 0)
PY
}

commands=$("$tool" --help | sed -n '/^Subcommands:/,/^$/p' | awk '/^  [^ ]/ {print $1}')
[ -n "$commands" ] || fail "--help lists no commands"
for command in "" $commands; do
  "$tool" $command --help >"$work/help.txt"
  check "tarnovell $command --help" 0 $?
  fits_80 "$work/help.txt" || fail "tarnovell $command --help has lines over 80 columns"
  # Options that take a value name it (FILE, SIZE, N, ...), in the usage line and the listing.
  if grep -E '^Usage:|^  -' "$work/help.txt" | grep -qwE 'TEXT|INT|UINT|FLOAT'; then
    fail "tarnovell $command --help shows a type name instead of a placeholder:"
    grep -E '^Usage:|^  -' "$work/help.txt" | grep -wE 'TEXT|INT|UINT|FLOAT'
  fi
done

[ -f "$page" ] || fail "no man page at $page"
MANWIDTH=80 man --warnings -l "$page" 2>"$work/man.err" | col -bx >"$work/man.txt"
empty "man's warnings about the page" "$work/man.err"
fits_80 "$work/man.txt" || fail "the man page has lines over 80 columns at MANWIDTH=80"
sections=$(grep -E '^[A-Z][A-Z ]+$' "$work/man.txt" | tr '\n' ',')
expected="NAME,SYNOPSIS,DESCRIPTION,COMMANDS,OPTIONS,EXIT STATUS,EXAMPLES,SEE ALSO,"
[ "$sections" = "$expected" ] || fail "man page sections: $sections expected $expected"
for command in $commands; do
  grep -q "^       tarnovell $command " "$work/man.txt" || fail "the SYNOPSIS has no tarnovell $command"
done
finish_checks "help checks"
