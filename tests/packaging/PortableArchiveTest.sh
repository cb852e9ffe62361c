#!/usr/bin/env bash
# The portable archive: cpack makes one .tar.gz that unpacks into one folder,
# and the programs run from that folder wherever it lies.
# Usage: PortableArchiveTest.sh BUILD SOURCE
BUILD=$1 SOURCE=$2
source "$(dirname "$0")/TestSupport.sh"

(cd "$work" && cpack --config "$BUILD/CPackConfig.cmake" -G TGZ -B "$work/package") >"$work/cpack.txt" 2>&1 ||
  { cat "$work/cpack.txt" >&2; fail "cpack failed"; finish; }
mapfile -t archives < <(find "$work/package" -maxdepth 1 -name '*.tar.gz')
[ "${#archives[@]}" -eq 1 ] || { fail "cpack made ${#archives[@]} archives, not one"; finish; }
archive=${archives[0]}

# One folder, named as the archive is.
folder=$(basename "$archive" .tar.gz)
tops=$(tar -tzf "$archive" | cut -d/ -f1 | sort -u)
[ "$tops" = "$folder" ] || fail "the archive's top entries are: $tops"

place="$work/unpacked here"
mkdir -p "$place"
tar -xzf "$archive" -C "$place"
root=$place/$folder
expect_program "$root/bin/kivra"
expect_program "$root/bin/kivra-scan"
cmp -s "$SOURCE/resources/help/KIVRA.HLP" "$root/bin/KIVRA.HLP" || fail "the help file does not lie beside the programs"
if [ -f "$BUILD/docs/kivra-scan.1" ]; then expect_file "$root/share/man/man1/kivra-scan.1"; fi
# A desktop entry in the archive could only name the folder it was made in.
expect_absent "$root/share/applications"

expect_system_libraries_only "$root/bin/kivra"
expect_system_libraries_only "$root/bin/kivra-scan"
expect_scan_runs "$root/bin/kivra-scan"
expect_window_starts "$root/bin/kivra"

finish
