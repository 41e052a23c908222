#!/usr/bin/env bash
# Bounded fuzzing: builds the libFuzzer targets of fuzz/ with clang under
# ASan+UBSan in a build of their own and runs each for a fixed time, starting
# from the committed corpus (copied, so the run never changes the repository).
# A crash, a sanitizer report or a failed check ends the run with an error.
# Usage: extra-fuzz.sh <repo root>   (FUZZ_SECONDS: time per target, default 25;
# FUZZ_BUILD_DIR: build directory, default <repo root>/build-fuzz)
set -euo pipefail
root=$(cd "${1:?usage: extra-fuzz.sh <repo root>}" && pwd)
build=${FUZZ_BUILD_DIR:-$root/build-fuzz}
seconds=${FUZZ_SECONDS:-25}
jobs=${CI_JOBS:-2}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() { echo "fuzz: $*" >&2; exit 1; }
command -v clang++ >/dev/null || fail "clang++ is not installed (tools/ci/install-deps.sh installs it)"

targets=(wire_decoders trace_reader sim_frames)
cmake -S "$root" -B "$build" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DTAVRIX_BUILD_FUZZ=ON -DTAVRIX_BUILD_TESTS=OFF -DTAVRIX_BUILD_JNI_TEST=OFF \
  -DTAVRIX_SANITIZE=address -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$jobs" --target "${targets[@]/#/fuzz_}"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
for target in "${targets[@]}"; do
  cp -r "$root/fuzz/corpus/$target" "$work/$target"
  echo "fuzz: $target for ${seconds} s"
  if ! "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
       -artifact_prefix="$work/" "$work/$target" >"$work/$target.log" 2>&1; then
    tail -n 60 "$work/$target.log"
    for artifact in "$work"/crash-* "$work"/timeout-* "$work"/leak-* "$work"/oom-*; do
      [ -f "$artifact" ] && { echo "fuzz: failing input $(basename "$artifact"):"; od -A d -t x1 "$artifact" | head -n 20; }
    done
    fail "$target failed"
  fi
  grep -E '^stat::number_of_executed_units' "$work/$target.log" || true
done
echo "fuzz: all targets ran ${seconds} s each without a finding"
