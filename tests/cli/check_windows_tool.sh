#!/usr/bin/env bash
# The Windows tool's image: an x86-64 console program (PE32+, subsystem 3) that imports system
# DLLs only (statically linked: no C++, GCC or thread runtime DLL beside it), with the padded stub
# that containers carry inside it, byte for byte; and the zip for Windows users holding it and
# the README.
# Usage: check_windows_tool.sh OBJDUMP TARNOVELL_EXE STUB_PADDED STUB_SIZE ZIP
set -u
objdump=$1 image=$2 stub=$3 stub_size=$4 zip=$5
source "$(dirname "$0")/../support/pe_image_checks.sh"

read_pe_headers "$objdump" "$image"
expect_header "file format pei-x86-64" "not an x86-64 PE image"
expect_header "^Magic[[:space:]]+020b" "optional header is not PE32+"
expect_subsystem 3 "console"
# MSVCRT.DLL: the system's own C library, in every Windows since 2000; BCRYPT.DLL: its SHA-256
# (Windows Vista on).
expect_imports "the tool" BCRYPT.DLL KERNEL32.DLL MSVCRT.DLL

python3 - "$image" "$stub" "$stub_size" <<'PY' || fail "the padded stub is not inside the program"
import sys
image, stub = (open(path, "rb").read() for path in sys.argv[1:3])
sys.exit(0 if len(stub) == int(sys.argv[3]) and stub in image else 1)
PY
python3 - "$zip" "$image" <<'PY' || fail "$zip does not hold tarnovell.exe (this build's) and README.md"
import sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as z:
    names = sorted(z.namelist())
    same = names == ["README.md", "tarnovell.exe"] and z.read("tarnovell.exe") == open(sys.argv[2], "rb").read()
sys.exit(0 if same else 1)
PY
exit $failed
