#!/usr/bin/env bash
# The Windows tool's image: an x86-64 console program (PE32+, subsystem 3) that imports system
# DLLs only (statically linked: no C++, GCC or thread runtime DLL beside it), with the padded stub
# that containers carry inside it, byte for byte; and the zip for Windows users holding it and
# the README.
# Usage: check_windows_tool.sh OBJDUMP TARNOVELL_EXE STUB_PADDED STUB_SIZE ZIP
set -u
objdump=$1 image=$2 stub=$3 stub_size=$4 zip=$5 failed=0
fail() { echo "FAIL: $*"; failed=1; }

headers=$("$objdump" -p "$image") || { echo "FAIL: objdump cannot read $image"; exit 1; }
grep -Eq "file format pei-x86-64" <<<"$headers" || fail "not an x86-64 PE image"
grep -Eq "^Magic[[:space:]]+020b" <<<"$headers" || fail "optional header is not PE32+"
grep -Eq "^Subsystem[[:space:]]+0*3[[:space:]]" <<<"$headers" || fail "subsystem is not 3 (console): $(grep ^Subsystem <<<"$headers")"

dlls=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers" | tr '[:lower:]' '[:upper:]' | sort -u)
[ -n "$dlls" ] || fail "no imports found"
echo "imports: $(echo $dlls)"
for dll in $dlls; do
  case "$dll" in
    KERNEL32.DLL|MSVCRT.DLL) ;;  # the system's own C library, in every Windows since 2000
    *) fail "imports $dll, which is not a system DLL the tool may use" ;;
  esac
done

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
