#!/usr/bin/env bash
# The include rules between the layers (docs/architecture.md): dependencies
# point one way, device -> driver -> platform, sim -> platform, and the
# libraries never reach into the simulation, the tools or the tests. Every
# #include of the project's own C and C++ files (tools/ci/own-sources.sh) is
# resolved to the layer of the file it names; an include across a forbidden
# edge is printed as "file:line: <layer> may not include <include> (<layer>)"
# and makes the script exit 1.
# Usage: check-layers.sh <repo root>
set -euo pipefail
root=$(cd "${1:?usage: check-layers.sh <repo root>}" && pwd)
cd "$root"

# Where a quoted or angled include is looked for after the including file's
# own folder, as the targets' include directories give it.
search_roots=(include platform/include platform/src driver/src driver/jni device sim/include sim/src
  tools/decode/include tools/trace/include tests/support examples/demo)

# The layer of a file of the tree. The public headers of the driver and of the
# wire protocol are shared by every layer; the other public headers are the
# device library's.
layer_of() {
  case "$1" in
    include/tavrix/TavrixDriver.h | include/tavrix/Wire.h | include/tavrix/ProtocolCatalog.h) echo protocol ;;
    include/*) echo device ;;
    *) echo "${1%%/*}" ;;
  esac
}

# Layers each layer may not include, and whether it may include simulation
# headers (WPILib's or the stand-in's hal/simulation/*, mockdata/*, frc/simulation/*).
forbidden_for() {
  case "$1" in
    protocol) echo "driver device platform sim tools tests examples bench fuzz" ;;
    driver) echo "device sim tools tests examples bench fuzz" ;;
    device) echo "sim tools tests examples bench fuzz" ;;
    platform) echo "protocol driver device sim tools tests examples bench fuzz" ;;
    sim) echo "driver device tools tests examples bench fuzz" ;;
    tools) echo "driver device tests examples bench fuzz" ;;
    *) echo "" ;;
  esac
}
simulation_forbidden() { case "$1" in protocol | driver | device) return 0 ;; *) return 1 ;; esac; }
is_simulation_header() {
  case "$1" in hal/simulation/* | mockdata/* | */simulation/* | simulation/*) return 0 ;; *) return 1 ;; esac
}

# Prints the repository path an include names, or nothing for a header from
# outside the tree (the C++ library, WPILib, GoogleTest, the JDK).
resolve() {
  local from_dir=$1 name=$2 dir
  for dir in "$from_dir" "${search_roots[@]}"; do
    if [ -f "$dir/$name" ]; then
      realpath --relative-to="$root" "$dir/$name"
      return
    fi
  done
}

violations=0
checked=0
while read -r file; do
  layer=$(layer_of "$file")
  forbidden=" $(forbidden_for "$layer") "
  [ "$forbidden" = "  " ] && ! simulation_forbidden "$layer" && continue
  checked=$((checked + 1))
  while IFS=: read -r line name; do
    target=$(resolve "$(dirname "$file")" "$name")
    target_layer=""
    if [ -n "$target" ]; then target_layer=$(layer_of "$target"); fi
    if is_simulation_header "$name" && simulation_forbidden "$layer"; then
      echo "$file:$line: $layer may not include simulation header <$name>"
      violations=$((violations + 1))
    elif [ -n "$target_layer" ] && [ "$target_layer" != "$layer" ] &&
         [[ "$forbidden" == *" $target_layer "* ]]; then
      echo "$file:$line: $layer may not include \"$name\" ($target_layer: $target)"
      violations=$((violations + 1))
    fi
  done < <(grep -n -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]' "$file" |
             sed -E 's/^([0-9]+):[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]([^>"]+)[>"].*/\1:\2/')
done < <(bash "$root/tools/ci/own-sources.sh" "$root")

if [ "$violations" -ne 0 ]; then
  echo "layers: $violations include(s) across a forbidden edge" >&2
  exit 1
fi
echo "layers: $checked files of the layers checked, no include across a forbidden edge"
