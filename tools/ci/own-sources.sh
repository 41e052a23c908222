#!/usr/bin/env bash
# Prints the project's own C and C++ files, one per line, relative to the repo
# root: tracked files and new ones not ignored, so build directories never
# count. Everything under these directories is ours (platform/ is the project's
# own stand-in for WPILib); there is no third-party source in the tree.
# Usage: own-sources.sh <repo root>
set -euo pipefail
root=$(cd "${1:?usage: own-sources.sh <repo root>}" && pwd)
cd "$root"
git ls-files --cached --others --exclude-standard -- \
  bench device driver examples fuzz include java platform sim tests tools |
  grep -E '\.(c|cc|cpp|h|hpp)$' | sort -u |
  while read -r file; do [ -f "$file" ] && echo "$file"; done
