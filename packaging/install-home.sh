#!/usr/bin/env bash
# Installs a built Kivra for the user who runs it, without root rights
# (./dev.sh install builds, then calls this). Usage: install-home.sh BUILD_DIR
#
#   ~/.local/opt/kivra/                    the program's folder (cmake --install)
#     bin/kivra, bin/kivra-scan, bin/KIVRA.HLP, and the window's result files
#   ~/.local/bin/kivra, kivra-scan         links to the programs
#   ~/.local/share/applications/kivra.desktop, ~/.local/share/icons/hicolor/...
#                                          links to the desktop entry and icons
#   ~/.local/share/man/man1/kivra-scan.1   link to the manual page
#
# The window writes its result files beside its executable; the links lead
# there, so the results always land in ~/.local/opt/kivra/bin, a folder the
# user can write. Installing again keeps the results of earlier runs.
set -euo pipefail

build=${1:?usage: install-home.sh BUILD_DIR}
prefix=$HOME/.local/opt/kivra
bin=$HOME/.local/bin
data=${XDG_DATA_HOME:-$HOME/.local/share}
# man finds the pages of ~/.local/bin's programs in ~/.local/share/man.
man=$HOME/.local/share/man

log=$build/install.log
if ! cmake --install "$build" --prefix "$prefix" --strip >"$log" 2>&1; then
  echo "Installing into $prefix failed: see $log" >&2
  exit 1
fi

# link FILE LINK: LINK, in a folder made as needed, leads to FILE.
link() {
  mkdir -p "$(dirname "$2")"
  ln -sfn "$1" "$2"
}

for program in kivra kivra-scan; do
  if [ -x "$prefix/bin/$program" ]; then link "$prefix/bin/$program" "$bin/$program"; fi
done
if [ -d "$prefix/share" ]; then
  while IFS= read -r -d '' file; do
    link "$prefix/share/$file" "$data/$file"
  done < <(cd "$prefix/share" && find applications icons -type f -print0 2>/dev/null)
  while IFS= read -r -d '' file; do
    link "$prefix/share/man/$file" "$man/$file"
  done < <(cd "$prefix/share/man" 2>/dev/null && find . -type f -printf '%P\0')
fi

echo "Kivra is installed in $prefix."
echo "Start it from the desktop's menu or with $bin/kivra; the scan on the command line is $bin/kivra-scan."
echo "The window writes its five result files (KIVRA*.TXT) into $prefix/bin."
case ":$PATH:" in
  *":$bin:"*) ;;
  *) echo "$bin is not on your PATH: add it (a new login on Debian does this once the folder exists)." ;;
esac
