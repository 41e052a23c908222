#!/usr/bin/env bash
# The README's test command: builds everything and runs every test.
set -euo pipefail
cd "$(dirname "$0")/../.."
cmake -S . -B build
cmake --build build -j2
ctest --test-dir build -j2 --output-on-failure
