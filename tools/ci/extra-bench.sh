#!/usr/bin/env bash
# Smoke run of the benchmarks: builds tavrix-bench in the normal build with
# TAVRIX_BUILD_BENCH on and runs every figure in its quick form
# (TAVRIX_BENCH_QUICK=1, about ten seconds). It fails only when a benchmark
# cannot run; the ratios of a quick run on a shared CI machine are no verdict
# (docs/performance.md has the measured figures and how to measure them).
# Usage: extra-bench.sh <repo root>   (BENCH_BUILD_DIR: build directory, default <repo root>/build)
set -euo pipefail
root=$(cd "${1:?usage: extra-bench.sh <repo root>}" && pwd)
build=${BENCH_BUILD_DIR:-$root/build}
out=$(mktemp)
trap 'rm -f "$out"' EXIT

cmake -S "$root" -B "$build" -DTAVRIX_BUILD_BENCH=ON >/dev/null
cmake --build "$build" -j"${CI_JOBS:-2}" --target tavrix-bench
TAVRIX_BENCH_QUICK=1 "$build/bench/tavrix-bench" --benchmark_color=false | tee "$out"
if grep -q 'ERROR OCCURRED' "$out"; then
  echo "bench: a benchmark could not run" >&2
  exit 1
fi
grep -q '^figure' "$out" || { echo "bench: no figure table" >&2; exit 1; }
echo "bench: every figure ran"
