#!/usr/bin/env bash
# Reproducibility: the stepped demo run 20 times in a row writes 20 identical
# candump logs and pcaps, and the suite run three times gives the same results.
# Uses the normal build directory (BUILD_DIR, default <repo root>/build).
set -euo pipefail
root=$(cd "${1:?usage: extra-repro.sh <repo root>}" && pwd)
build=${BUILD_DIR:-$root/build}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

cmake --build "$build" -j"${CI_JOBS:-2}" --target tavrix-demo >/dev/null
for i in $(seq 1 20); do
  "$build/examples/tavrix-demo" --log "$out/run$i.log" --pcap "$out/run$i.pcap" >"$out/run$i.txt"
done
for kind in log pcap; do
  distinct=$(sha256sum "$out"/run*."$kind" | awk '{print $1}' | sort -u | wc -l)
  echo "repro: 20 demo ${kind}s, $distinct distinct hash(es)"
  [ "$distinct" -eq 1 ] || { echo "repro: the demo's $kind differs between runs" >&2; exit 1; }
done

for i in 1 2 3; do
  ctest --test-dir "$build" -j"${CI_JOBS:-2}" >"$out/suite$i.txt" 2>&1 || true
  grep -E 'Test +#[0-9]+: ' "$out/suite$i.txt" | sed -E 's/ +[0-9.]+ sec$//; s/^ *[0-9]+\/[0-9]+ //; s/\.{2,}/ /' |
    sort >"$out/results$i.txt"
  echo "repro: suite run $i: $(grep -c ' Passed' "$out/results$i.txt") passed, $(grep -vc ' Passed' "$out/results$i.txt") not"
done
cmp -s "$out/results1.txt" "$out/results2.txt" && cmp -s "$out/results1.txt" "$out/results3.txt" ||
  { echo "repro: the three suite runs differ" >&2; diff "$out/results1.txt" "$out/results2.txt" >&2 || true; exit 1; }
if grep -vq ' Passed' "$out/results1.txt"; then echo "repro: tests failed" >&2; exit 1; fi
echo "repro: demo and suite reproducible"
