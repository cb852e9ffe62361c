#!/usr/bin/env bash
# ./dev.sh install's last step, packaging/install-home.sh, for a user whose
# home is a fresh folder. Usage: HomeInstallTest.sh BUILD SOURCE
BUILD=$1 SOURCE=$2
source "$(dirname "$0")/TestSupport.sh"

export HOME=$work/home
unset XDG_DATA_HOME
mkdir -p "$HOME"
program_folder=$HOME/.local/opt/kivra

install_home() {
  "$SOURCE/packaging/install-home.sh" "$BUILD" >"$work/install.txt" 2>&1 ||
    { cat "$work/install.txt" >&2; fail "install-home.sh failed"; finish; }
}
install_home

# The program lives in a folder of the user's, reached through links.
expect_program "$program_folder/bin/kivra"
expect_program "$program_folder/bin/kivra-scan"
expect_file "$program_folder/bin/KIVRA.HLP"
for program in kivra kivra-scan; do
  [ -L "$HOME/.local/bin/$program" ] || fail "~/.local/bin/$program is no link"
  [ "$(readlink -f "$HOME/.local/bin/$program")" = "$program_folder/bin/$program" ] ||
    fail "~/.local/bin/$program leads to $(readlink -f "$HOME/.local/bin/$program")"
done
expect_scan_runs "$HOME/.local/bin/kivra-scan"
expect_window_starts "$HOME/.local/bin/kivra"

# The menu finds the entry, which starts the installed program; the icons
# lie where the desktop looks for them.
entry=$HOME/.local/share/applications/kivra.desktop
expect_file "$entry"
if [ -f "$entry" ]; then
  desktop-file-validate "$entry" >"$work/desktop.txt" 2>&1 && [ ! -s "$work/desktop.txt" ] ||
    fail "desktop-file-validate: $(cat "$work/desktop.txt")"
  [ "$(desktop_value "$entry" Exec)" = "$program_folder/bin/kivra" ] || fail "Exec is $(desktop_value "$entry" Exec)"
  for size in "${icon_sizes[@]}"; do
    expect_file "$HOME/.local/share/icons/hicolor/${size}x$size/apps/$(desktop_value "$entry" Icon).png"
  done
fi
if [ -f "$BUILD/docs/kivra-scan.1" ]; then expect_file "$HOME/.local/share/man/man1/kivra-scan.1"; fi
grep -qF "$program_folder/bin" "$work/install.txt" || fail "the installer does not say where the results go"

# A second install keeps the result files of earlier runs and leaves the
# links as they were.
printf 'earlier run\r\n' >"$program_folder/bin/KIVRADIF.TXT"
install_home
[ "$(cat "$program_folder/bin/KIVRADIF.TXT" 2>/dev/null)" = $'earlier run\r' ] || fail "installing again lost a result file"
[ "$(readlink "$HOME/.local/bin/kivra")" = "$program_folder/bin/kivra" ] || fail "installing again broke ~/.local/bin/kivra"

# With XDG_DATA_HOME set, the entry and icons go there.
export XDG_DATA_HOME=$work/data
install_home
expect_file "$XDG_DATA_HOME/applications/kivra.desktop"
expect_file "$XDG_DATA_HOME/icons/hicolor/32x32/apps/kivra.png"

finish
