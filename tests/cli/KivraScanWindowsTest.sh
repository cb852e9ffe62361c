#!/usr/bin/env bash
# kivra-scan.exe under Wine over a real tree: the same paths as kivra-scan on
# Linux lists (the drive letter aside), the volume's short forms, the five
# files in code page 932, exit status 1 for long names.
#   KivraScanWindowsTest.sh KIVRA-SCAN.EXE [LINUX-KIVRA-SCAN]
set -euo pipefail
exe=$1
linux=${2:-}
fail() { echo "FAIL: $*" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
tree=$work/tree
mkdir -p "$tree/Long directory name" "$tree/SUB" "$tree/日本語のフォルダ" "$work/out" "$work/listed"
echo x >"$tree/Long directory name/File.txt"
echo x >"$tree/SUB/lower.txt"
echo x >"$tree/SUB/UPPER.TXT"
echo x >"$tree/日本語のフォルダ/DATA.TXT"
echo x >"$tree/README"
# Names equal without regard to case, which only a Linux folder holds: the
# Windows platform numbers the later one and still reaches both.
echo x >"$tree/SUB/Index.html"
echo x >"$tree/SUB/index.html"

run() { wine "$exe" "$@"; }
winpath() { winepath -w "$1" 2>/dev/null; }

# The five files and the verdict.
status=0
run "$(winpath "$tree")" -o "$(winpath "$work/out")" >"$work/counts.txt" 2>&1 || status=$?
[ "$status" -eq 1 ] || { cat "$work/counts.txt"; fail "exit status $status, not 1, for a tree with long names"; }
for file in KIVRALNG.TXT KIVRASHT.TXT KIVRADIF.TXT KIVRALFN.TXT KIVRAKOM.TXT; do
  [ -s "$work/out/$file" ] || fail "$file was not written"
  iconv -f CP932 -t UTF-8 "$work/out/$file" >/dev/null || fail "$file is not code page 932"
done
iconv -f CP932 -t UTF-8 "$work/out/KIVRALNG.TXT" | grep -q '日本語のフォルダ\\DATA.TXT' || fail "the Japanese folder's file is missing from KIVRALNG.TXT"
# The volume's alias of the long folder name: 8.3, with a "~".
grep -a -q -E '\\[A-Z0-9_]{1,6}~[0-9A-Z]+\\File\.txt' "$work/out/KIVRASHT.TXT" ||
  fail "KIVRASHT.TXT holds no alias of 'Long directory name'"

# --list writes nothing and lists the real names; as Linux paths, the same
# as kivra-scan on Linux lists.
for kind in long lower different; do
  (cd "$work/listed" && run --list "$kind" "$(winpath "$tree")") >"$work/$kind.windows" ||
    [ $? -eq 1 ] || fail "--list $kind failed"
  [ -z "$(ls -A "$work/listed")" ] || fail "--list $kind left files behind"
  # Z:\ is Wine's drive for /: the rest of each path is the Linux path.
  sed -e 's/\r$//' -e 's/^[Zz]://' -e 's|\\|/|g' "$work/$kind.windows" | sort >"$work/$kind.windows.linux"
  [ -s "$work/$kind.windows.linux" ] || fail "--list $kind listed nothing"
  if [ -n "$linux" ] && [ -x "$linux" ]; then
    (cd "$work/listed" && "$linux" --list "$kind" "$tree") | sort >"$work/$kind.linux" || [ $? -eq 1 ]
    # The aliases differ (the volume's against Kivra's own), the entries
    # that have one may not.
    if ! diff -u "$work/$kind.linux" "$work/$kind.windows.linux"; then
      fail "--list $kind differs between Linux and Windows"
    fi
  fi
done
grep -q '/日本語のフォルダ/DATA.TXT$' "$work/long.windows.linux" || fail "--list long does not give the Japanese name in UTF-8"
echo "kivra-scan.exe: five files, exit 1, lists as on Linux"
