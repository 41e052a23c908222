#!/usr/bin/env bash
# Line coverage of the two libraries: builds everything with gcov
# instrumentation (Debug, --coverage) in a build directory of its own, runs the
# whole suite there and prints gcovr's line figure for driver/ and device/.
# Fails when a test fails or when the figure is below the floor.
# Usage: extra-coverage.sh <repo root>
#   COVERAGE_BUILD_DIR  build directory (default <repo root>/build-coverage)
#   COVERAGE_FLOOR      lowest accepted line coverage in percent (default 97)
set -euo pipefail
root=$(cd "${1:?usage: extra-coverage.sh <repo root>}" && pwd)
build=${COVERAGE_BUILD_DIR:-$root/build-coverage}
floor=${COVERAGE_FLOOR:-97}
jobs=${CI_JOBS:-2}

command -v gcovr >/dev/null ||
  { echo "coverage: gcovr is not installed (tools/ci/install-deps.sh installs it)" >&2; exit 1; }

start=$(date +%s)
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_C_FLAGS=--coverage -DCMAKE_CXX_FLAGS=--coverage \
  -DCMAKE_EXE_LINKER_FLAGS=--coverage -DCMAKE_SHARED_LINKER_FLAGS=--coverage \
  -DCMAKE_MODULE_LINKER_FLAGS=--coverage >/dev/null
cmake --build "$build" -j"$jobs"
built=$(date +%s)

# Counters of an earlier run would add to this one's.
find "$build" -name '*.gcda' -delete
# driver_exports_test stays out: libgcov, linked into the driver library,
# exports symbols of its own (__gcov_*, mangle_path), and the test runs no
# library code, so it adds nothing to the figure. The plain build runs it.
ctest --test-dir "$build" -j"$jobs" --output-on-failure -E '^driver_exports_test$'
tested=$(date +%s)

# CMakeFiles/ holds the compiler checks, built with --coverage like the rest.
gcovr --root "$root" --object-directory "$build" -j "$jobs" --exclude-directories "$build/CMakeFiles" \
  --filter "$root/driver/" --filter "$root/device/" \
  --sort-uncovered --txt "$build/coverage.txt" --print-summary --fail-under-line "$floor" \
  >"$build/coverage-summary.txt" || status=$?
cat "$build/coverage.txt" "$build/coverage-summary.txt"
echo "coverage: built in $((built - start)) s, suite ran in $((tested - built)) s," \
  "report in $(($(date +%s) - tested)) s"
if [ "${status:-0}" -ne 0 ]; then
  echo "coverage: line coverage of driver/ and device/ is below ${floor} % (or gcovr failed)" >&2
  exit 1
fi
echo "coverage: driver/ and device/ at or above ${floor} % of lines"
