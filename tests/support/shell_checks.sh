# What the shell tests of the built programs share; sourced first. It makes a scratch folder
# (work, removed at the end) and the current folder, and counts failures: each check prints
# "FAIL: ..." and goes on; finish_checks ends the script with the number of failures.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
check() {  # check DESCRIPTION EXPECTED-STATUS ACTUAL-STATUS
  if [ "$2" != "$3" ]; then fail "$1: status $3, expected $2"; fi
}
contains() {  # contains DESCRIPTION FILE TEXT (control characters shown as cat -v shows them)
  if ! grep -qF -- "$3" "$2"; then fail "$1: no \"$3\" in:"; cat -v "$2"; fi
}
empty() {  # empty DESCRIPTION FILE
  if [ -s "$2" ]; then fail "$1: not empty:"; cat -v "$2"; fi
}
finish_checks() {  # finish_checks WHAT: "all WHAT passed" when nothing failed
  [ "$failures" = 0 ] && echo "all $1 passed"
  exit "$failures"
}
