#!/usr/bin/env bash
# The stub as containers need it: a GUI image that imports only system DLLs (no C or C++
# runtime, no thread library), at most IMAGE_LIMIT bytes, and the padded copy exactly LIMIT bytes
# (the room a container gives it) that begins with the image. ARCH 32 is the stub that containers carry (PE32, i386); ARCH 64 is the
# 64-bit build of the same sources that the Windows tests run where 32-bit programs cannot.
# Usage: check_stub_image.sh ARCH OBJDUMP STUB_EXE STUB_PADDED LIMIT IMAGE_LIMIT
set -u
arch=$1 objdump=$2 image=$3 padded=$4 limit=$5 image_limit=$6
source "$(dirname "$0")/../support/pe_image_checks.sh"

read_pe_headers "$objdump" "$image"
if [ "$arch" = 32 ]; then
  expect_header "file format pei?-i386" "not a 32-bit PE image"
  expect_header "^Magic[[:space:]]+010b" "optional header is not PE32"
else
  expect_header "file format pei?-x86-64" "not an x86-64 PE image"
  expect_header "^Magic[[:space:]]+020b" "optional header is not PE32+"
fi
expect_subsystem 2 "Windows GUI"
expect_imports "the stub" KERNEL32.DLL USER32.DLL GDI32.DLL COMDLG32.DLL SHELL32.DLL

size=$(stat -c %s "$image")
echo "image: $size bytes of $image_limit"
[ "$size" -le "$image_limit" ] || fail "image is $size bytes, more than $image_limit"
padded_size=$(stat -c %s "$padded")
[ "$padded_size" -eq "$limit" ] || fail "padded stub is $padded_size bytes, not $limit"
cmp -s -n "$size" "$image" "$padded" || fail "padded stub does not begin with the image"
tail -c +"$((size + 1))" "$padded" | cmp -s - <(head -c "$((limit - size))" /dev/zero) || fail "padding is not zero bytes"
exit $failed
