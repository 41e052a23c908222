#!/usr/bin/env bash
# The include rules between the layers: tools/ci/check-layers.sh over the tree.
# Usage: extra-layers.sh <repo root>
set -euo pipefail
root=$(cd "${1:?usage: extra-layers.sh <repo root>}" && pwd)
bash "$root/tools/ci/check-layers.sh" "$root"
