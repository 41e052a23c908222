#!/usr/bin/env bash
# The robot controller's processor: cross-builds the libraries, the platform
# stand-in, the simulated controller and the tests for 32-bit ARMv7 (softfp,
# cmake/toolchains/armv7-softfp.cmake) and runs the whole suite under qemu's
# user-mode emulator, with the README's commands.
# Usage: extra-arm.sh <repo root>   (ARM_BUILD_DIR: build directory, default <repo root>/build-arm)
set -euo pipefail
root=$(cd "${1:?usage: extra-arm.sh <repo root>}" && pwd)
build=${ARM_BUILD_DIR:-$root/build-arm}
jobs=${CI_JOBS:-2}

fail() { echo "arm: $*" >&2; exit 1; }

# The cross compiler, the emulator and GoogleTest's sources are on the project's
# package list; this installs whatever of it the machine lacks.
bash "$root/tools/ci/install-deps.sh"

start=$(date +%s)
cmake -S "$root" -B "$build" --toolchain "$root/cmake/toolchains/armv7-softfp.cmake" >/dev/null
cmake --build "$build" -j"$jobs"
built=$(date +%s)
# Guard against a suite that would quietly run natively.
arm-linux-gnueabi-readelf -h "$build/tests/driver/driver_registry_test" | grep -q 'Machine: *ARM$' ||
  fail "the test executables are not built for ARM"
grep -qs 'qemu-arm' "$build/tests/driver/CTestTestfile.cmake" ||
  fail "ctest would not run the tests under the emulator"
ctest --test-dir "$build" -j"$jobs" --output-on-failure
echo "arm: built in $((built - start)) s, suite ran under emulation in $(($(date +%s) - built)) s"
