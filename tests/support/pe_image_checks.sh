# What the checks of our Windows images share; sourced by tests/stub/check_stub_image.sh and
# tests/cli/check_windows_tool.sh. A failed check prints "FAIL: ..." and sets failed to 1; the
# script goes on with its other checks and ends with "exit $failed".
failed=0
fail() { echo "FAIL: $*"; failed=1; }

# read_pe_headers OBJDUMP IMAGE: headers := what objdump shows of IMAGE's headers; the script
# ends at once when objdump cannot read it.
read_pe_headers() {
  headers=$("$1" -p "$2") || { echo "FAIL: objdump cannot read $2"; exit 1; }
}

# expect_header PATTERN MESSAGE: fails with MESSAGE unless a line of headers matches PATTERN
# (an extended regular expression).
expect_header() {
  grep -Eq "$1" <<<"$headers" || fail "$2"
}

# expect_subsystem NUMBER NAME: the image's subsystem is NUMBER (NAME says what it is).
expect_subsystem() {
  expect_header "^Subsystem[[:space:]]+0*$1[[:space:]]" \
    "subsystem is not $1 ($2): $(grep ^Subsystem <<<"$headers")"
}

# expect_imports WHO DLL...: prints the DLLs the image imports, and fails for each that is not
# one of DLL... (upper case), naming WHO may use them.
expect_imports() {
  local who=$1 dlls dll
  shift
  dlls=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers" | tr '[:lower:]' '[:upper:]' | sort -u)
  [ -n "$dlls" ] || fail "no imports found"
  echo "imports: $(echo $dlls)"
  for dll in $dlls; do
    case " $* " in
      *" $dll "*) ;;
      *) fail "imports $dll, which is not a system DLL $who may use" ;;
    esac
  done
}
