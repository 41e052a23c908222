#!/usr/bin/env bash
# The libraries on the real WPILib, both supported versions (simulation HAL).
# For WPILib 2026.2.2, then 2019.4.1: installs WPILib once into a cache outside
# the clone (a later run on the same machine reuses it), builds the libraries
# against it in a build directory of their own (with, on 2026, the arm robot
# of examples/robot), runs the real-time suite (tests/realwpilib), then
# installs that build into a temporary prefix and builds programs out of tree
# against the installed package: examples/wpilib-consumer (both versions; on
# 2026 it must compile as C++20 without asking) and, on 2026, examples/robot.
# They run without LD_LIBRARY_PATH: the installed libraries find WPILib's.
# Usage: extra-wpilib.sh <repo root>
#   WPILIB_SRC, WPILIB_PREFIX          2019: folder of build-wpilib.sh (default
#                                      <repo root>/../shared/wpilib), install cache
#                                      (default /var/cache/tavrix/wpilib-2019.4.1)
#   WPILIB2026_SRC, WPILIB2026_PREFIX  2026: folder of build-wpilib2026.sh (default
#                                      <repo root>/../shared/wpilib2026), install cache
#                                      (default /var/cache/tavrix/wpilib-2026.2.2)
set -euo pipefail
root=$(cd "${1:?usage: extra-wpilib.sh <repo root>}" && pwd)
jobs=${CI_JOBS:-2}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() { echo "wpilib $version: $*" >&2; exit 1; }

# install_wpilib <script> <prefix>
install_wpilib() {
  [ -f "$1" ] || fail "$1 not found"
  local start
  start=$(date +%s)
  JOBS=$jobs bash "$1" "$2"
  echo "wpilib $version: platform ready in $(( $(date +%s) - start )) s"
}

# build_and_test <prefix> <build dir>
build_and_test() {
  cmake -S "$root" -B "$2" -DTAVRIX_REAL_WPILIB=ON -Dwpilib_DIR="$1" >/dev/null
  cmake --build "$2" -j"$jobs"
  # One test at a time: the suite runs in real time and times its replies loosely.
  ctest --test-dir "$2" --output-on-failure
}

# check_package <wpilib prefix> <build dir>: the installed package, used out of tree.
check_package() {
  local out="$work/$version" prefix="$work/$version/prefix" lib
  mkdir -p "$out"
  cmake --install "$2" --prefix "$prefix" >/dev/null
  if grep -rl -e "$root" "$(dirname "$(find "$prefix" -name TavrixConfig.cmake | head -n1)")"; then
    fail "the installed CMake files name the source tree"
  fi
  # The loader looks for a library's dependencies in that library's own run path.
  for lib in $(find "$prefix" -name 'libTavrix*.so'); do
    readelf -d "$lib" | grep -E 'RUNPATH|RPATH' | grep -qF "$1/lib" ||
      fail "$(basename "$lib") does not carry $1/lib in its run path"
  done

  cmake -S "$root/examples/wpilib-consumer" -B "$out/consumer" -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
  cmake --build "$out/consumer" -j"$jobs"
  if [ "$version" = 2026 ]; then
    grep -qE -- '-std=(gnu|c)\+\+20' "$out/consumer/compile_commands.json" ||
      fail "the package does not ask C++20 of its consumer"
  fi
  (cd "$out" && env -u LD_LIBRARY_PATH ./consumer/tavrix-wpilib-consumer) ||
    fail "the consumer of the installed package failed"

  [ "$version" = 2026 ] || return 0
  cmake -S "$root/examples/robot" -B "$out/robot" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
  cmake --build "$out/robot" -j"$jobs"
  # A robot program runs until it is stopped: it must start and keep running.
  local status=0
  (cd "$out" && env -u LD_LIBRARY_PATH timeout 5 ./robot/tavrix-robot >robot.log 2>&1) || status=$?
  grep -q "Robot program startup complete" "$out/robot.log" && [ "$status" = 124 ] ||
    { cat "$out/robot.log"; fail "the arm robot did not start and run (status $status)"; }
  echo "wpilib $version: the arm robot started and ran"
}

version=2026
prefix=${WPILIB2026_PREFIX:-/var/cache/tavrix/wpilib-2026.2.2}
install_wpilib "${WPILIB2026_SRC:-$root/../shared/wpilib2026}/build-wpilib2026.sh" "$prefix"
build_and_test "$prefix" "$root/build-wpilib2026"
check_package "$prefix" "$root/build-wpilib2026"

version=2019
prefix=${WPILIB_PREFIX:-/var/cache/tavrix/wpilib-2019.4.1}
install_wpilib "${WPILIB_SRC:-$root/../shared/wpilib}/build-wpilib.sh" "$prefix"
build_and_test "$prefix" "$root/build-realwpilib"
check_package "$prefix" "$root/build-realwpilib"

echo "wpilib: both versions built, tested and used from their installed packages"
