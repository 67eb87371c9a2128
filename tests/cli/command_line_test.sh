#!/usr/bin/env bash
# The built program's command line: help and version on stdout with status 0, usage errors with
# status 64 on stderr, "--" before a file name that starts with "-", a quiet stderr when it is
# not a terminal and a progress bar when it is, a report that cannot be written (status 2).
set -u
tool=$1
source "$(dirname "$0")/../support/shell_checks.sh"

for command in "" split join info verify repair; do
  $tool $command --help >out 2>err; check "$command --help" 0 $?
  contains "$command --help" out "Usage:"
  empty "$command --help stderr" err
done
$tool --version >out 2>err; check "--version" 0 $?
contains "--version" out "tarnovell "

$tool >out 2>err; check "no command" 64 $?
$tool frobnicate >out 2>err; check "unknown command" 64 $?
$tool join >out 2>err; check "join without a container" 64 $?
contains "join without a container" err "CONTAINER is required"
empty "usage error stdout" out
$tool split --size >out 2>err; check "--size without a value" 64 $?
$tool repair >out 2>err; check "repair without a path" 64 $?
contains "repair without a path" err "PATH is required"
$tool join --bogus x.exe >out 2>err; check "unknown option" 64 $?

# A file whose name starts with "-", after "--".
head -c 200000 /dev/urandom >./-data.bin
$tool split -s 100K -q -- -data.bin >out 2>err; check "split -- -data.bin" 0 $?
empty "split -q stdout" out
$tool join -o joined.bin -- -data.exe >out 2>err; check "join -- -data.exe" 0 $?
cmp -s -- -data.bin joined.bin || fail "joined bytes differ"
contains "join summary" out "complete"
empty "join stderr when not a terminal" err
# A report that cannot be written (/dev/full: a full disk) is a file-system error, whatever the
# command found; the message says so on stderr.
if [ -w /dev/full ]; then
  for command in "info" "verify" "join -f -o joined.bin" "--help" "info --help"; do
    $tool $command -- -data.exe >/dev/full 2>err; check "$command into a full disk" 2 $?
    contains "$command into a full disk" err "tarnovell: cannot write the report to standard output: No space left on device"
  done
  $tool join -q -f -o joined.bin -- -data.exe >/dev/full 2>err; check "join -q: no report to lose" 0 $?
fi
$tool join nothing.exe >out 2>err; check "missing container" 2 $?
contains "missing container" err "cannot open nothing.exe"
empty "error stdout" out

# On a terminal the join draws a bar on stderr; --quiet silences it.
if command -v script >/dev/null; then
  head -c 50000000 /dev/zero | tr '\0' 'x' >big.bin
  $tool split -q -s 10M big.bin
  script -qec "$tool join -o big.out big.exe" /dev/null >tty.txt 2>&1; check "join on a terminal" 0 $?
  contains "progress bar" tty.txt "/47.7 MiB"
  rm -f big.out
  script -qec "$tool join -q -o big.out big.exe" /dev/null >tty.txt 2>&1; check "join -q on a terminal" 0 $?
  if grep -qF "47.7 MiB" tty.txt; then fail "--quiet drew a bar"; fi
  rm -f big.out  # --no-progress (beside pv, which draws its own): no bar, the summary stays
  script -qec "$tool join --no-progress -o big.out big.exe" /dev/null >tty.txt 2>&1; check "join --no-progress" 0 $?
  if grep -qF "/47.7 MiB" tty.txt; then fail "--no-progress drew a bar"; fi
  contains "join --no-progress's summary" tty.txt "big.out: complete"
  # The recovery files have their bar too, and so has a repair.
  script -qec "$tool split -f -s 10M -r 2 big.bin" /dev/null >tty.txt 2>&1; check "split -r on a terminal" 0 $?
  contains "recovery files' progress bar" tty.txt "big.exe ... big.r02"
  rm big.c002
  script -qec "$tool repair big.exe" /dev/null >tty.txt 2>&1; check "repair on a terminal" 0 $?
  contains "repair's progress bar" tty.txt "step 2 of 3: rebuilding big"
  contains "repair's report" tty.txt "rebuilt big.c002"
  # --progress draws the line into a file as well, naming the steps where there are two: from
  # standard input the recovery files are made from the set read back.
  $tool split -f -s 10M -r 2 --progress - --name big.bin <big.bin >out 2>err
  check "split - -r --progress" 0 $?
  contains "split - -r --progress" err "step 2 of 2: recovery files"
  $tool split -f -s 10M --progress big.bin >out 2>err; check "split --progress" 0 $?
  contains "split --progress" err "100%   47.7 MiB/47.7 MiB"
  if grep -qF "step" err; then fail "a split of one step named a step"; fi
fi

# Through real pipes: tar into split -, join -o - into tar; the set the same as from the file (but
# for the header's times), and the tar stream the same both ways.
mkdir -p tree/sub && head -c 3000000 /dev/urandom >tree/a.bin && printf 'x\r\ny\032' >tree/sub/b.txt
tar cf tree.tar tree
tar cf - tree | $tool split - --name tree.tar -s 1M -q; check "tar | split -" 0 $?
mkdir fromfile && $tool split tree.tar -s 1M -q -d fromfile; check "split of the tar file" 0 $?
for piece in fromfile/tree.c*; do
  cmp -s "$piece" "${piece#fromfile/}" || fail "$piece differs from the one made from a pipe"
done
cmp -s -n 29000 fromfile/tree.exe tree.exe || fail "the stub and the name differ"
cmp -s -i 30720 fromfile/tree.exe tree.exe || fail "the container's data differ"
$tool join tree.exe -o - >joined.tar 2>err; check "join -o - into a file" 0 $?
cmp -s tree.tar joined.tar || fail "join -o - gave other bytes"
contains "join -o - summary on stderr" err "standard output: complete"
mkdir untarred && $tool join -q tree.exe -o - | tar xf - -C untarred; check "join -o - | tar x" 0 $?
cmp -s tree/sub/b.txt untarred/tree/sub/b.txt || fail "the untarred file differs"
: | $tool split - --name empty.bin -q; check "split - of nothing" 0 $?
$tool join empty.exe -o - | cmp -s - /dev/null || fail "join -o - of an empty set gave bytes"
$tool split - -s 1M <tree.tar >out 2>err; check "split - without --name" 64 $?
contains "split - without --name" err "--name"
$tool split - --name x -n 3 <tree.tar >out 2>err; check "split - --number" 64 $?
# One byte changed (an X where there was none: the data is random).
if [ "$(dd if=tree.c002 bs=1 skip=5 count=1 2>/dev/null)" = X ]; then byte=Y; else byte=X; fi
printf '%s' "$byte" | dd of=tree.c002 bs=1 seek=5 conv=notrunc 2>/dev/null
$tool join tree.exe -o - 2>err | cmp -s - tree.tar; check "join -o - of a damaged piece: other bytes" 1 $?
$tool join tree.exe -o - >/dev/null 2>err; check "join -o - of a damaged piece" 1 $?
contains "join -o - of a damaged piece" err "the data written to standard output is possibly damaged"
if command -v script >/dev/null; then
  script -qec "$tool join fromfile/tree.exe -o -" /dev/null >tty.txt 2>&1; check "join -o - to a terminal" 64 $?
  contains "join -o - to a terminal" tty.txt "standard output is a terminal"
fi

# A folder that takes no file is said to be so, not short of room: a read-only file system of
# 1 MiB (in a mount namespace of its own) where this runs as root, else a folder not ours to write.
mkdir ro
in_read_only() {  # in_read_only COMMAND...: runs it with ro read-only
  if [ "$(id -u)" = 0 ]; then
    unshare -m sh -c 'mount -t tmpfs -o ro,size=1m tmpfs ro && exec "$@"' sh "$@"
  else
    chmod 555 ro && "$@"
  fi
}
if [ "$(id -u)" != 0 ] || unshare -m true 2>/dev/null; then
  in_read_only $tool join fromfile/tree.exe -o ro/tree.tar >out 2>err; check "join into ro" 2 $?
  contains "join into ro" err "tarnovell: cannot write into ro: "
  in_read_only $tool split tree.tar -s 1M -d ro >out 2>err; check "split into ro" 2 $?
  contains "split into ro" err "tarnovell: cannot write into ro: "
fi

finish_checks "command-line checks"
