#!/usr/bin/env bash
# split --checksums against the real sha256sum: BASE.sha256 beside a set checks with
# `sha256sum -c` in the set's folder (names with spaces, the recovery files too), and after a
# join with `sha256sum -c --ignore-missing` where the joined file lies; a damaged piece fails
# both sha256sum and verify. Names with a backslash or a newline cannot be a set's (Windows does
# not allow them): their escapes are held to sha256sum's in set/checksums_test.cpp.
set -u
tool=$1
source "$(dirname "$0")/../support/shell_checks.sh"

mkdir sender receiver
head -c 700000 /dev/urandom >"sender/my holiday film.avi"
(cd sender && $tool split "my holiday film.avi" -s 200K -r 2 --checksums -q) >out 2>err
check "split --checksums" 0 $?
empty "split stderr" err
(cd sender && sha256sum -c "my holiday film.sha256") >out 2>err
check "sha256sum -c in the sender's folder" 0 $?
# The original, the container, 4 pieces (of 172032 bytes: each recovery file fits 200K too), 2
# recovery files: every one named and checked.
[ "$(grep -c ': OK$' out)" = 8 ] || { fail "sha256sum did not check 8 files:"; cat out; }
contains "the recovery files are named" out "my holiday film.r02: OK"

# The receiver gets the set without the original, checks it and joins it.
cp sender/*.exe sender/*.c0* sender/*.r0* sender/*.sha256 receiver/
(cd receiver && sha256sum -c --ignore-missing "my holiday film.sha256") >out 2>err
check "sha256sum -c --ignore-missing before the join" 0 $?
(cd receiver && $tool join "my holiday film.exe") >out 2>err
check "join" 0 $?
contains "join's summary" out "SHA-256 matches my holiday film.sha256"
(cd receiver && sha256sum -c "my holiday film.sha256") >out 2>err
check "sha256sum -c after the join: every file, the joined one too" 0 $?
cmp -s "sender/my holiday film.avi" "receiver/my holiday film.avi" || fail "joined bytes differ"

# A damaged piece (byte 1000 flipped, whatever it was): sha256sum and verify both find it.
piece="receiver/my holiday film.c002"
byte=$(od -An -tu1 -j1000 -N1 "$piece")
printf "\\$(printf %03o $((byte ^ 0xFF)))" | dd of="$piece" bs=1 seek=1000 conv=notrunc status=none
(cd receiver && sha256sum -c --quiet "my holiday film.sha256") >out 2>err
check "sha256sum -c of a damaged piece" 1 $?
contains "sha256sum names it" out "my holiday film.c002: FAILED"
$tool verify "receiver/my holiday film.exe" >out 2>err
check "verify of a damaged piece" 1 $?
contains "verify names it" out "my holiday film.c002"

finish_checks "checksum checks"
