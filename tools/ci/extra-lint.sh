#!/usr/bin/env bash
# Style and common bug patterns in the project's own C and C++ files (the list
# of tools/ci/own-sources.sh):
#  - clang-format: fails on any difference from .clang-format
#    (tools/ci/format-all.sh applies it);
#  - clang-tidy with .clang-tidy: fails on any finding. It runs over the
#    translation units of a configure-only clang build (compile_commands.json,
#    benchmarks and fuzz targets on) and over our headers they include; the
#    units that build only against the real WPILib (the adapters for it,
#    tests/realwpilib, examples/robot) in a configure-only clang build against
#    WPILib 2026, then 2019 (WPILIB2026_PREFIX, WPILIB_PREFIX as in
#    extra-wpilib.sh; each installed first if missing).
# Prints what it checked, the findings per check and its wall time.
# Usage: extra-lint.sh <repo root>   (LINT_BUILD_DIR: build directory, default <repo root>/build-lint)
set -euo pipefail
root=$(cd "${1:?usage: extra-lint.sh <repo root>}" && pwd)
build=${LINT_BUILD_DIR:-$root/build-lint}
jobs=${CI_JOBS:-2}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() { echo "lint: $*" >&2; exit 1; }
for tool in clang-format clang-tidy run-clang-tidy clang++; do
  command -v "$tool" >/dev/null || fail "$tool is not installed (tools/ci/install-deps.sh installs it)"
done
start=$(date +%s)
cd "$root"
mapfile -t files < <(bash tools/ci/own-sources.sh "$root")
[ ${#files[@]} -gt 0 ] || fail "no source files found"

echo "lint: clang-format on ${#files[@]} files ($(clang-format --version | head -n1))"
format_status=0
printf '%s\0' "${files[@]}" |
  xargs -0 -n 20 -P "$jobs" clang-format --dry-run -Werror --style=file 2>"$work/format.txt" ||
  format_status=$?
format_files=$(grep -E '^[^ ].*: error: code should be clang-formatted' "$work/format.txt" |
  cut -d: -f1 | sort -u | wc -l || true)
echo "lint: $format_files file(s) differ from .clang-format"
formatted=$(date +%s)

# Configure only: the compilation database is all clang-tidy needs.
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DTAVRIX_BUILD_BENCH=ON -DTAVRIX_BUILD_FUZZ=ON >"$work/cmake.txt" ||
  { cat "$work/cmake.txt"; fail "configuring $build failed"; }
# Translation units of ours that the database has; the rest need an installed
# package (examples/consumer) or the real WPILib (the adapters' twins for it,
# tests/realwpilib, examples/robot): see below.
database_units() {
  grep -o '"file": "[^"]*"' "$1/compile_commands.json" | sed 's/^"file": "//; s/"$//' | sort -u
}
database_units "$build" >"$work/database.txt"
units=()
skipped=()
for file in "${files[@]}"; do
  case "$file" in *.c | *.cc | *.cpp) ;; *) continue ;; esac
  if grep -qxF "$root/$file" "$work/database.txt"; then units+=("$root/$file"); else skipped+=("$file"); fi
done

# run-clang-tidy takes regular expressions: escape each path and anchor it.
anchored() { printf '^%s$' "$(printf '%s' "$1" | sed 's/[].[^$*+?(){}|\\]/\\&/g')"; }
tidy_status=0
# tidy <build dir> <units...>
tidy() {
  local db=$1 patterns=() unit
  shift
  for unit in "$@"; do patterns+=("$(anchored "$unit")"); done
  run-clang-tidy -p "$db" -j "$jobs" -quiet "${patterns[@]}" >>"$work/tidy.txt" 2>&1 || tidy_status=$?
}
echo "lint: clang-tidy on ${#units[@]} translation units of the stand-in build and the headers of" \
  "ours they include ($(clang-tidy --version | grep -o 'version [0-9.]*'))"
tidy "$build" "${units[@]}"

# The units that build only against the real WPILib, in a configure-only clang
# build against each installed version (installed first if the cache lacks it,
# as extra-wpilib.sh does; the shared scripts reuse an install).
for platform in "2026|${WPILIB2026_SRC:-$root/../shared/wpilib2026}/build-wpilib2026.sh|${WPILIB2026_PREFIX:-/var/cache/tavrix/wpilib-2026.2.2}" \
            "2019|${WPILIB_SRC:-$root/../shared/wpilib}/build-wpilib.sh|${WPILIB_PREFIX:-/var/cache/tavrix/wpilib-2019.4.1}"; do
  [ ${#skipped[@]} -gt 0 ] || break
  IFS='|' read -r version script prefix <<<"$platform"
  if [ ! -f "$prefix/.complete" ]; then
    [ -f "$script" ] || { echo "lint: no WPILib $version ($script not found)"; continue; }
    JOBS=$jobs bash "$script" "$prefix" >"$work/wpilib$version.txt" 2>&1 ||
      { tail -n 20 "$work/wpilib$version.txt"; fail "installing WPILib $version failed"; }
  fi
  real_build="$build-wpilib$version"
  cmake -S "$root" -B "$real_build" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DTAVRIX_REAL_WPILIB=ON -Dwpilib_DIR="$prefix" >"$work/cmake$version.txt" ||
    { cat "$work/cmake$version.txt"; fail "configuring $real_build failed"; }
  database_units "$real_build" >"$work/database$version.txt"
  real_units=()
  remaining=()
  for file in "${skipped[@]}"; do
    if grep -qxF "$root/$file" "$work/database$version.txt"; then
      real_units+=("$root/$file")
    else
      remaining+=("$file")
    fi
  done
  skipped=("${remaining[@]}")
  [ ${#real_units[@]} -gt 0 ] || continue
  echo "lint: clang-tidy on ${#real_units[@]} translation units of the WPILib $version build"
  tidy "$real_build" "${real_units[@]}"
done
[ ${#skipped[@]} -eq 0 ] || echo "lint: not in any compilation database, not tidied: ${skipped[*]}"

# run-clang-tidy 14 always asks for colour: drop the escape codes before matching.
# A header's finding shows once per unit that includes it, and under the path that
# unit included it by (tests/driver/../../driver/...): fold the "dir/.." steps,
# then count each place once.
sed -E 's/\x1b\[[0-9;]*m//g; :fold; s#/[^/]+/\.\./#/#; t fold' "$work/tidy.txt" |
  grep -E '^/.*:[0-9]+:[0-9]+: (warning|error): ' | sort -u >"$work/findings.txt" || true
finding_count=$(wc -l <"$work/findings.txt")
echo "lint: $finding_count clang-tidy finding(s)"
if [ "$finding_count" -gt 0 ]; then
  sed -E 's/.*\[([^]]+)\]$/\1/' "$work/findings.txt" | sort | uniq -c | sort -rn
  sed "s|^$root/||" "$work/findings.txt"
fi
tidied=$(date +%s)
echo "lint: clang-format took $((formatted - start)) s, clang-tidy $((tidied - formatted)) s"

[ "$format_status" -eq 0 ] ||
  { head -n 40 "$work/format.txt"; fail "files differ from .clang-format (tools/ci/format-all.sh fixes them)"; }
[ "$finding_count" -eq 0 ] || fail "clang-tidy reported findings"
[ "$tidy_status" -eq 0 ] || { tail -n 40 "$work/tidy.txt"; fail "clang-tidy failed"; }
echo "lint: no format difference, no clang-tidy finding"
