#!/usr/bin/env bash
# Applies .clang-format to every C and C++ file of the project's own, in place.
# Usage: format-all.sh [repo root]   (default: the repository this script is in)
set -euo pipefail
root=$(cd "${1:-$(dirname "$0")/../..}" && pwd)
command -v clang-format >/dev/null ||
  { echo "format: clang-format is not installed (tools/ci/install-deps.sh installs it)" >&2; exit 1; }
cd "$root"
mapfile -t files < <(bash tools/ci/own-sources.sh "$root")
printf '%s\0' "${files[@]}" | xargs -0 -n 20 -P "${CI_JOBS:-2}" clang-format -i --style=file
echo "format: ${#files[@]} files formatted with $(clang-format --version | head -n1)"
