#!/usr/bin/env bash
# The stub as containers need it: a GUI image that imports only system DLLs (no C or C++
# runtime, no thread library), at most LIMIT bytes, and the padded copy exactly LIMIT bytes that
# begins with the image. ARCH 32 is the stub that containers carry (PE32, i386); ARCH 64 is the
# 64-bit build of the same sources that the Windows tests run where 32-bit programs cannot.
# Usage: check_stub_image.sh ARCH OBJDUMP STUB_EXE STUB_PADDED LIMIT
set -u
arch=$1 objdump=$2 image=$3 padded=$4 limit=$5 failed=0
fail() { echo "FAIL: $*"; failed=1; }

headers=$("$objdump" -p "$image") || { echo "FAIL: objdump cannot read $image"; exit 1; }
if [ "$arch" = 32 ]; then
  grep -Eq "file format pei?-i386" <<<"$headers" || fail "not a 32-bit PE image"
  grep -Eq "^Magic[[:space:]]+010b" <<<"$headers" || fail "optional header is not PE32"
else
  grep -Eq "file format pei?-x86-64" <<<"$headers" || fail "not an x86-64 PE image"
  grep -Eq "^Magic[[:space:]]+020b" <<<"$headers" || fail "optional header is not PE32+"
fi
grep -Eq "^Subsystem[[:space:]]+0*2[[:space:]]" <<<"$headers" || fail "subsystem is not 2 (Windows GUI): $(grep ^Subsystem <<<"$headers")"

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
