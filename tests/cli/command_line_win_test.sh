#!/usr/bin/env bash
# The Windows program's command line under Wine: help and version with status 0, usage errors
# with status 64, the exit codes of a missing file and a refused name; and its text where a user
# reads it: UTF-8 bytes when redirected, characters in a console (under `script`, Wine's console
# is the terminal, so Cyrillic shows only if it was written as characters), with the progress bar;
# and split --checksums made through Windows' SHA-256, checked by sha256sum.
# Usage: command_line_win_test.sh WINE_RUN TARNOVELL_EXE
set -u
wine_run=$1 exe=$2
source "$(dirname "$0")/../support/shell_checks.sh"
tool() { bash "$wine_run" "$exe" "$@"; }

for command in "" split join info; do
  tool $command --help >out 2>err; check "$command --help" 0 $?
  contains "$command --help" out "Usage:"
done
tool --version >out 2>err; check "--version" 0 $?
contains "--version" out "tarnovell "
tool >out 2>err; check "no command" 64 $?
tool join --bogus x.exe >out 2>err; check "unknown option" 64 $?
tool join nothing.exe >out 2>err; check "missing container" 2 $?
contains "missing container" err "cannot open nothing.exe"

head -c 30000000 /dev/urandom >Фильм.avi
tool split Фильм.avi --base NUL >out 2>err; check "device name as base" 5 $?
contains "device name" err "device name on Windows"
tool split -s 10M Фильм.avi >out 2>err; check "split" 0 $?
contains "split summary, redirected: UTF-8" out "Фильм.avi: 30000000 bytes in Фильм.exe and 2 pieces (Фильм.c001 to Фильм.c002)"

# In a console: the characters of the summary and of the bar's label, once the terminal's
# control sequences (Wine's console draws with them) and spaces are taken out.
if command -v script >/dev/null; then
  script -qec "bash '$wine_run' '$exe' join -o joined.avi Фильм.exe" /dev/null >tty.txt 2>&1
  check "join in a console" 0 $?
  python3 - tty.txt >plain.txt <<'PY'
import re, sys
text = open(sys.argv[1], encoding="utf-8", errors="replace").read()
print(re.sub(r"\s", "", re.sub(r"\x1b\[[0-9;?]*[A-Za-z]", "", text)))
PY
  contains "console text" plain.txt "joined.avi:complete,30000000bytesfrom3files"
  contains "progress bar" plain.txt "Фильм.exe["
  cmp -s Фильм.avi joined.avi || fail "joined bytes differ"
fi

# BASE.sha256 made through Windows' own SHA-256 (BCrypt), checked by the real sha256sum: the
# original, the container and both pieces.
tool split -f -s 10M --checksums Фильм.avi >out 2>err; check "split --checksums" 0 $?
sha256sum -c Фильм.sha256 >out 2>err; check "sha256sum -c of the Windows tool's checksums" 0 $?
[ "$(grep -c ': OK$' out)" = 4 ] || { fail "sha256sum did not check 4 files:"; cat out; }

# Standard input and output carry bytes as they are: Ctrl+Z (0x1A), "\r\n", a lone "\n" and
# NUL survive split - and join -o - (text mode would end the input at 0x1A and turn "\n" into
# "\r\n").
{ printf 'a\032b\r\nc\nd\0e\r'; head -c 300000 /dev/urandom; printf '\n\032'; } >text.bin
tool split - --name redirected.bin -s 100K -q <text.bin; check "split - from a file" 0 $?
cat text.bin | tool split - --name piped.bin -s 100K -q; check "split - from a pipe" 0 $?
tool split -s 100K -q text.bin; check "split of the file" 0 $?
for set in redirected piped; do
  for n in 1 2 3; do
    cmp -s text.c00$n $set.c00$n || fail "piece $n of $set differs from the file's"
  done
  [ ! -e $set.c004 ] || fail "a piece more in $set"
  cmp -s -i 30720 text.exe $set.exe || fail "the container's data of $set differ"
done
tool join piped.exe -o - >joined.bin 2>err; check "join -o - into a file" 0 $?
cmp -s text.bin joined.bin || fail "join -o - into a file gave other bytes"
tool join -q piped.exe -o - | cat >joined2.bin; check "join -o - into a pipe" 0 "${PIPESTATUS[0]}"
cmp -s text.bin joined2.bin || fail "join -o - into a pipe gave other bytes"
tool split - -s 100K <text.bin >out 2>err; check "split - without --name" 64 $?

finish_checks "command-line checks"
