#!/usr/bin/env bash
# cmake --install, as a packager runs it: into a staging DESTDIR, under a
# prefix whose path holds a blank.
# Usage: InstallRulesTest.sh BUILD SOURCE DOCS_URL (where docs/ is published)
BUILD=$1 SOURCE=$2 DOCS_URL=$3
source "$(dirname "$0")/TestSupport.sh"

prefix="/opt/Kivra Test"
stage=$work/stage
DESTDIR=$stage cmake --install "$BUILD" --prefix "$prefix" >"$work/install.txt" 2>&1 ||
  { cat "$work/install.txt" >&2; fail "cmake --install failed"; finish; }
root=$stage$prefix

# The programs and the help file share one folder: the window looks for its
# help file, and writes its result files, beside its executable.
expect_program "$root/bin/kivra"
expect_program "$root/bin/kivra-scan"
expect_file "$root/bin/KIVRA.HLP"
cmp -s "$SOURCE/resources/help/KIVRA.HLP" "$root/bin/KIVRA.HLP" || fail "the installed help file differs from the project's"

if [ -f "$BUILD/docs/kivra-scan.1" ]; then
  expect_file "$root/share/man/man1/kivra-scan.1"
fi

# The desktop entry: accepted by desktop-file-validate, its Exec and TryExec
# name the installed program (the prefix without the staging folder), quoted
# for the blank.
entry=$root/share/applications/kivra.desktop
expect_file "$entry"
if [ -f "$entry" ]; then
  if ! desktop-file-validate "$entry" >"$work/desktop.txt" 2>&1 || [ -s "$work/desktop.txt" ]; then
    fail "desktop-file-validate: $(cat "$work/desktop.txt")"
  fi
  [ "$(desktop_value "$entry" Exec)" = "\"$prefix/bin/kivra\"" ] || fail "Exec is $(desktop_value "$entry" Exec)"
  [ "$(desktop_value "$entry" TryExec)" = "$prefix/bin/kivra" ] || fail "TryExec is $(desktop_value "$entry" TryExec)"
  [ "$(desktop_value "$entry" Terminal)" = "false" ] || fail "the window program must not ask for a terminal"
  for key in "Name" "Name\[ja\]" "Comment" "Comment\[ja\]" "Categories"; do
    [ -n "$(desktop_value "$entry" "$key")" ] || fail "the desktop entry has no $key"
  done
  icon=$(desktop_value "$entry" Icon)
  for size in "${icon_sizes[@]}"; do expect_file "$root/share/icons/hicolor/${size}x$size/apps/$icon.png"; done
fi

# The AppStream metainfo: accepted by appstreamcli, launching the entry
# above, its screenshot one that the project holds.
metainfo=$(find "$root/share/metainfo" -name '*.metainfo.xml' 2>/dev/null | head -1)
if [ -z "$metainfo" ]; then
  fail "no metainfo file in $root/share/metainfo"
else
  appstreamcli validate --no-net "$metainfo" >"$work/appstream.txt" 2>&1 || fail "appstreamcli validate: $(cat "$work/appstream.txt")"
  [ "$(basename "$metainfo" .metainfo.xml)" = "$(sed -n 's:.*<id>\(.*\)</id>.*:\1:p' "$metainfo")" ] ||
    fail "the metainfo file is not named after its component"
  grep -q '<launchable type="desktop-id">kivra.desktop</launchable>' "$metainfo" || fail "the metainfo does not launch kivra.desktop"
  screenshot=$(sed -n 's:.*<image>\(.*\)</image>.*:\1:p' "$metainfo")
  [ -n "$screenshot" ] || fail "the metainfo has no screenshot"
  [ "${screenshot#"$DOCS_URL/"}" != "$screenshot" ] && [ -f "$SOURCE/docs/${screenshot#"$DOCS_URL/"}" ] || fail "the metainfo's screenshot $screenshot is no file of docs/"
fi

# Nothing outside the prefix.
outside=$(cd "$stage" && find . -mindepth 1 -maxdepth 2 ! -path "./opt" ! -path "./opt/Kivra Test")
[ -z "$outside" ] || fail "installed outside the prefix: $outside"

# The folder runs wherever it is moved.
mv "$root" "$work/moved"
expect_system_libraries_only "$work/moved/bin/kivra"
expect_system_libraries_only "$work/moved/bin/kivra-scan"
expect_scan_runs "$work/moved/bin/kivra-scan"
expect_window_starts "$work/moved/bin/kivra"

finish
