#!/usr/bin/env bash
# Kivra's one set-up script.
#   ./dev.sh run       install what is missing, build, start the program
#   ./dev.sh test      install what is missing, build, run every test
#                      (and the sanitizer build of the platform layer and the
#                      scan engine)
#   ./dev.sh install   build, then install for the user who runs it:
#                      ~/.local/opt/kivra, with links in ~/.local/bin and the
#                      menu entry and icons in ~/.local/share
#   ./dev.sh package   build, then make the portable archive (build/*.tar.gz)
#   ./dev.sh package-windows
#                      cross-build kivra-scan.exe for Windows (MinGW-w64) and
#                      make build-windows/kivra-scan-VERSION-windows-x86_64.zip
#   ./dev.sh fuzz [SECONDS]
#                      build the libFuzzer harnesses (tests/fuzz) and run each
#                      for SECONDS (60) from its kept corpus; fails on a finding
set -euo pipefail
cd "$(dirname "$0")"

# What building and running need (python3 draws the desktop's icons).
packages=(
  g++ cmake ninja-build pkg-config clang-format git python3
  qt6-base-dev qt6-base-dev-tools qt6-tools-dev qt6-tools-dev-tools libqt6uitools6 libqt6opengl6-dev libgl-dev libxkbcommon-dev
  libicu-dev libgtest-dev libgmock-dev
  fonts-ipafont-gothic fonts-ipafont-mincho fontconfig
  xvfb xauth
  help2man locales
)
# What the tests need besides: the checkers of the installed desktop entry
# and AppStream metainfo; clang with its sanitizer and libFuzzer run-times
# for the fuzzing harnesses, and llvm's symbolizer for their reports.
test_packages=(desktop-file-utils appstream clang libclang-rt-14-dev llvm)
# The Windows build: MinGW-w64 cross compilers (the POSIX threads flavour),
# Wine to run its tests, zip for its archive.
windows_packages=(g++-mingw-w64-x86-64-posix wine wine64 zip)

install_missing() { # install_missing PACKAGE...
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# CMake's own words go to DIR/configure.log; a failure is told in one line.
configure() { # configure DIR [cmake options...]
  local dir=$1; shift
  mkdir -p "$dir"
  if ! cmake -S . -B "$dir" -G Ninja "$@" >"$dir/configure.log" 2>&1; then
    local reason
    # The first paragraph of CMake's first error, on one line.
    reason=$(awk '/^CMake Error/ { found = 1; next }
      found && !NF && text { exit }
      found && NF { sub(/^ +/, ""); text = text (text ? " " : "") $0 }
      END { if (length(text) > 200) text = substr(text, 1, 197) "..."; print text }' "$dir/configure.log")
    echo "dev.sh: CMake could not configure $dir/${reason:+ ($reason)}; see $dir/configure.log" >&2
    exit 1
  fi
}

build() { # build DIR [cmake options...]
  local dir=$1; shift
  configure "$dir" "$@"
  cmake --build "$dir" -j "$(nproc)"
}

# The libFuzzer harnesses, built with clang under ASan and UBSan.
fuzz_harnesses=(windows_path_fuzzer codepage_fuzzer path_mapping_fuzzer directory_table_fuzzer)
build_fuzzers() {
  configure build-fuzz -DKIVRA_FUZZ=ON -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DKIVRA_GUI=OFF -DKIVRA_TESTS=OFF -DKIVRA_BENCH=OFF
  cmake --build build-fuzz -j "$(nproc)" --target "${fuzz_harnesses[@]}"
}

# Runs each harness for SECONDS. New inputs go to build-fuzz/corpus/NAME (the
# kept corpus in tests/fuzz/corpus/NAME is only read), findings to
# build-fuzz/findings/NAME-*.
run_fuzzers() { # run_fuzzers SECONDS
  local seconds=$1 failed=0 name log status
  mkdir -p build-fuzz/findings
  for name in "${fuzz_harnesses[@]}"; do
    mkdir -p "build-fuzz/corpus/$name"
    log=build-fuzz/findings/$name.log
    status=0
    ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
      "build-fuzz/bin/$name" -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix="build-fuzz/findings/$name-" "build-fuzz/corpus/$name" "tests/fuzz/corpus/$name" \
      >"$log" 2>&1 || status=$?
    awk -v name="$name" '
      /(DONE|pulse|NEW|REDUCE|INITED) +cov: / { for (i = 1; i < NF; i++) { if ($i == "cov:") cov = $(i + 1); if ($i == "ft:") ft = $(i + 1) } }
      /^stat::number_of_executed_units:/ { runs = $2 }
      /^stat::average_exec_per_sec:/ { speed = $2 }
      /Test unit written to .*(crash|leak|timeout|oom)-/ { findings++ }
      END { printf "%-24s %10s runs %7s/s  cov %s ft %s  findings %d\n", name, runs, speed, cov, ft, findings }' "$log"
    if [ "$status" -ne 0 ]; then
      failed=1
      grep -E 'invariant broken|^SUMMARY|Test unit written' "$log" >&2 || true
      echo "dev.sh: $name found a fault (exit $status); see $log" >&2
    fi
  done
  return "$failed"
}

# The Windows build of kivra-scan and its tests, cross-compiled with
# MinGW-w64 into build-windows/.
build_windows() {
  configure build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DKIVRA_TESTS=ON \
    -DKIVRA_LINUX_SCAN="$PWD/build/bin/kivra-scan"
  cmake --build build-windows -j "$(nproc)"
}

# Runs the Windows build's tests under Wine, in a prefix of its own inside
# build-windows (made on first use, which takes a minute or two), with no
# display and nothing for Wine to offer to install.
test_windows() {
  export WINEPREFIX="$PWD/build-windows/wine-prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Making the Wine prefix build-windows/wine-prefix for the Windows tests..."
    DISPLAY= wine wineboot --init >build-windows/wineboot.log 2>&1 || true
    wineserver --wait || true
  fi
  # Drive D: of the platform contract: an empty folder of the build.
  mkdir -p build-windows/contract-drive
  ln -sfn "$PWD/build-windows/contract-drive" "$WINEPREFIX/dosdevices/d:"
  (cd build-windows && DISPLAY= ctest --output-on-failure -j "$(nproc)")
  wineserver --kill 2>/dev/null || true
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
    install_missing "${packages[@]}"
    build build
    if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then start_virtual_display; fi
    exec build/bin/kivra
    ;;
  test)
    install_missing "${packages[@]}" "${test_packages[@]}" "${windows_packages[@]}"
    check_format
    build build
    (cd build && ctest --output-on-failure -j "$(nproc)")
    # The platform layer and the scan engine again, under AddressSanitizer and
    # UndefinedBehaviorSanitizer: any report fails the run.
    build build-sanitize -DKIVRA_GUI=OFF -DKIVRA_BENCH=OFF -DKIVRA_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
    (cd build-sanitize && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
       UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j "$(nproc)")
    # The fuzzing harnesses over their kept corpus: every input once.
    build_fuzzers
    (cd build-fuzz && ctest --output-on-failure -j "$(nproc)")
    # kivra-scan.exe and the platform layer's Windows back-end, under Wine.
    build_windows
    test_windows
    ;;
  fuzz)
    install_missing "${packages[@]}" "${test_packages[@]}"
    build_fuzzers
    run_fuzzers "${2:-60}"
    ;;
  install)
    install_missing "${packages[@]}"
    configure build
    cmake --build build -j "$(nproc)" --target kivra_installable
    packaging/install-home.sh build
    ;;
  package)
    install_missing "${packages[@]}"
    configure build
    cmake --build build -j "$(nproc)" --target kivra_installable
    (cd build && cpack -G TGZ >cpack.log 2>&1) || { echo "dev.sh: cpack failed; see build/cpack.log" >&2; exit 1; }
    echo "The portable archive: $(sed -n 's/^CPack: - package: \(.*\) generated\.$/\1/p' build/cpack.log)"
    echo "Unpack it anywhere you can write and start bin/kivra in its folder; the results go into that bin/."
    ;;
  package-windows)
    install_missing "${windows_packages[@]}" cmake ninja-build
    configure build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DKIVRA_TESTS=OFF
    cmake --build build-windows -j "$(nproc)" --target kivra-scan
    version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build-windows/CMakeCache.txt)
    archive=build-windows/kivra-scan-$version-windows-x86_64.zip
    rm -rf build-windows/package && mkdir -p build-windows/package
    # Without its debugging information: a tenth of the size.
    x86_64-w64-mingw32-strip -o build-windows/package/kivra-scan.exe build-windows/bin/kivra-scan.exe
    sed 's/$/\r/' packaging/windows/README.txt >build-windows/package/README.txt
    rm -f "$archive"
    (cd build-windows/package && zip -q -9 "../$(basename "$archive")" kivra-scan.exe README.txt)
    echo "The Windows archive: $archive (kivra-scan.exe and README.txt; Windows 10 and later)"
    ;;
  *)
    echo "usage: $0 run|test|install|package|package-windows|fuzz [SECONDS]" >&2
    exit 2
    ;;
esac
