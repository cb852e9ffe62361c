#!/usr/bin/env bash
# Kivra's one set-up script.
#   ./dev.sh run    install what is missing, build, start the program
#   ./dev.sh test   install what is missing, build, run every test
#                   (and the sanitizer build of the platform layer and the
#                   scan engine)
set -euo pipefail
cd "$(dirname "$0")"

packages=(
  g++ cmake ninja-build pkg-config clang-format git
  qt6-base-dev qt6-base-dev-tools qt6-tools-dev qt6-tools-dev-tools libqt6uitools6 libqt6opengl6-dev libgl-dev libxkbcommon-dev
  libicu-dev libgtest-dev libgmock-dev
  fonts-ipafont-gothic fonts-ipafont-mincho fontconfig
  xvfb xauth
  help2man locales
)

install_missing() {
  local missing=()
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

build() { # build DIR [cmake options...]
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j "$(nproc)"
}

start_virtual_display() {
  local n=99
  while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  export DISPLAY=":$n"
  sleep 1
  echo "No display found: Kivra runs on the virtual display $DISPLAY (Xvfb)."
  echo "Look at it with a VNC viewer or take screenshots with: xwd -root -display $DISPLAY"
}

# Every C++ file of the project in the house style of .clang-format.
check_format() {
  local files
  mapfile -t files < <(git ls-files '*.cpp' '*.h')
  if ! clang-format --dry-run --Werror "${files[@]}" 2>/tmp/kivra-format.log; then
    grep -E '^[^ ].*: (error|warning):' /tmp/kivra-format.log | sed 's/: .*//' | sort -u | head -20 >&2
    echo "These files are not in the house style: run clang-format -i on them (.clang-format)." >&2
    exit 1
  fi
}

case "${1:-}" in
  run)
    install_missing
    build build
    if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then start_virtual_display; fi
    exec build/bin/kivra
    ;;
  test)
    install_missing
    check_format
    build build
    (cd build && ctest --output-on-failure -j "$(nproc)")
    # The platform layer and the scan engine again, under AddressSanitizer and
    # UndefinedBehaviorSanitizer: any report fails the run.
    build build-sanitize -DKIVRA_GUI=OFF -DKIVRA_BENCH=OFF -DKIVRA_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
    (cd build-sanitize && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
       UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j "$(nproc)")
    ;;
  *)
    echo "usage: $0 run|test" >&2
    exit 2
    ;;
esac
