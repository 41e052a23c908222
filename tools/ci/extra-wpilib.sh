#!/usr/bin/env bash
# The libraries on the real WPILib 2019.4.1 (simulation HAL): builds WPILib from
# the shared source archive into a cache outside the clone (a later run on the
# same machine reuses it), builds the libraries against it in a build directory
# of their own and runs the real-time suite (tests/realwpilib).
# Usage: extra-wpilib.sh <repo root>
#   WPILIB_SRC     folder of build-wpilib.sh (default: <repo root>/../shared/wpilib)
#   WPILIB_PREFIX  install cache (default: /var/cache/tavrix/wpilib-2019.4.1)
set -euo pipefail
root=$(cd "${1:?usage: extra-wpilib.sh <repo root>}" && pwd)
jobs=${CI_JOBS:-2}
src=${WPILIB_SRC:-$root/../shared/wpilib}
prefix=${WPILIB_PREFIX:-/var/cache/tavrix/wpilib-2019.4.1}
build="$root/build-realwpilib"

[ -f "$src/build-wpilib.sh" ] || { echo "wpilib: $src/build-wpilib.sh not found" >&2; exit 1; }
start=$(date +%s)
JOBS=$jobs bash "$src/build-wpilib.sh" "$prefix"
echo "wpilib: platform ready in $(( $(date +%s) - start )) s"

cmake -S "$root" -B "$build" -DTAVRIX_REAL_WPILIB=ON -Dwpilib_DIR="$prefix" >/dev/null
cmake --build "$build" -j"$jobs"
# One test at a time: the suite runs in real time and times its replies loosely.
ctest --test-dir "$build" --output-on-failure
