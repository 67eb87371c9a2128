#!/usr/bin/env bash
# The stub as containers need it: a 32-bit GUI image that imports only system DLLs (no C or C++
# runtime, no thread library), at most 28672 bytes, and the padded copy exactly 28672 bytes
# that begins with the image.
# Usage: check_stub_image.sh OBJDUMP STUB_EXE STUB_PADDED
set -u
objdump=$1 image=$2 padded=$3 limit=28672 failed=0
fail() { echo "FAIL: $*"; failed=1; }

headers=$("$objdump" -p "$image") || { echo "FAIL: objdump cannot read $image"; exit 1; }
grep -Eq "file format pei?-i386" <<<"$headers" || fail "not a 32-bit PE image"
grep -Eq "^Subsystem[[:space:]]+0*2[[:space:]]" <<<"$headers" || fail "subsystem is not 2 (Windows GUI): $(grep ^Subsystem <<<"$headers")"
grep -Eq "^Magic[[:space:]]+010b" <<<"$headers" || fail "optional header is not PE32"

dlls=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers" | tr '[:lower:]' '[:upper:]' | sort -u)
[ -n "$dlls" ] || fail "no imports found"
echo "imports: $(echo $dlls)"
for dll in $dlls; do
  case "$dll" in
    KERNEL32.DLL|USER32.DLL|GDI32.DLL|COMDLG32.DLL|SHELL32.DLL) ;;
    *) fail "imports $dll, which is not a system DLL the stub may use" ;;
  esac
done

size=$(stat -c %s "$image")
echo "image: $size bytes of $limit"
[ "$size" -le "$limit" ] || fail "image is $size bytes, more than $limit"
padded_size=$(stat -c %s "$padded")
[ "$padded_size" -eq "$limit" ] || fail "padded stub is $padded_size bytes, not $limit"
cmp -s -n "$size" "$image" "$padded" || fail "padded stub does not begin with the image"
tail -c +"$((size + 1))" "$padded" | cmp -s - <(head -c "$((limit - size))" /dev/zero) || fail "padding is not zero bytes"
exit $failed
