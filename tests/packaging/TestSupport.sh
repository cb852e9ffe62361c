# Helpers of the installation tests (sourced).
#   BUILD    the build directory
#   SOURCE   the checkout
set -euo pipefail

work=$(mktemp -d /tmp/kivra-install-test.XXXXXX)
trap 'rm -rf "$work"' EXIT
failures=0

fail() {
  echo "FAILED: $*" >&2
  failures=$((failures + 1))
}

finish() {
  if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
  fi
  echo "all checks passed"
}

expect_file() { [ -f "$1" ] || fail "missing: $1"; }
expect_program() { [ -f "$1" ] && [ -x "$1" ] || fail "missing or not executable: $1"; }
expect_absent() { [ ! -e "$1" ] || fail "should not be there: $1"; }

# The desktop's icon sizes the build draws.
icon_sizes=(16 22 24 32 48 64 128 256)

# The value of KEY in a desktop entry's [Desktop Entry] group.
desktop_value() { sed -n "s/^$2=//p" "$1" | head -1; }

# Every shared library of a program is found on the system, none in the
# build tree, and the program names no search path of its own.
expect_system_libraries_only() {
  local program=$1 libraries
  libraries=$(ldd "$program") || { fail "ldd cannot read $program"; return; }
  if grep -q "not found" <<<"$libraries"; then fail "$program misses libraries: $(grep 'not found' <<<"$libraries")"; fi
  if grep -qF "$BUILD" <<<"$libraries"; then fail "$program loads libraries from the build tree"; fi
  if readelf -d "$program" | grep -qE '\((RPATH|RUNPATH)\)'; then fail "$program carries a library search path"; fi
}

# kivra-scan, started from where it lies, answers --help and scans a tree
# with a long name and a lower-case name: exit status 1 and five files.
expect_scan_runs() {
  local program=$1 tree=$work/tree-$RANDOM out=$work/out-$RANDOM status=0
  "$program" --help >"$work/help.txt" 2>&1 || fail "$program --help failed: $(head -3 "$work/help.txt")"
  grep -q -- "--output" "$work/help.txt" || fail "$program --help does not describe its options"
  mkdir -p "$tree/Long Directory Name" "$out"
  : >"$tree/Long Directory Name/readme.txt"
  : >"$tree/SHORT.TXT"
  "$program" --output "$out" "$tree" >"$work/scan.txt" 2>&1 </dev/null || status=$?
  [ "$status" -eq 1 ] || fail "$program over a tree with long and lower-case names: exit $status, not 1 ($(head -3 "$work/scan.txt"))"
  local name
  for name in KIVRALNG KIVRASHT KIVRADIF KIVRALFN KIVRAKOM; do expect_file "$out/$name.TXT"; done
  grep -q "Long Directory Name" "$out/KIVRALNG.TXT" 2>/dev/null || fail "$program did not list the tree's long name"
}

# The window program starts from where it lies and stays up until it is
# told to end (it takes no arguments).
expect_window_starts() {
  local program=$1 status=0
  QT_QPA_PLATFORM=offscreen timeout 5 "$program" >"$work/window.txt" 2>&1 </dev/null || status=$?
  [ "$status" -eq 124 ] || fail "$program ended at once with status $status: $(head -3 "$work/window.txt")"
}
