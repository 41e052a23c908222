#!/usr/bin/env bash
# Packaging check: installs the normal build into a temporary prefix, builds
# the example consumer project out of tree against the installed package
# (find_package(Tavrix CONFIG)) and runs it, and checks that the driver's jar is
# installed with its classes and that the package's Tavrix_JAR names it.
# Usage: extra-package.sh <repo root>
set -euo pipefail
root=$(cd "${1:?usage: extra-package.sh <repo root>}" && pwd)
jobs=${CI_JOBS:-2}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The normal build normally exists already; this only brings it up to date.
cmake -S "$root" -B "$root/build" >/dev/null
cmake --build "$root/build" -j"$jobs"
cmake --install "$root/build" --prefix "$work/prefix" >/dev/null

config_dir=$(dirname "$(find "$work/prefix" -name TavrixConfig.cmake | head -n1)")
[ -f "$config_dir/TavrixTargets.cmake" ] || { echo "package: no TavrixTargets.cmake installed"; exit 1; }
# An installed package must not point back into the source or build tree.
if grep -rl -e "$root" "$config_dir"; then
  echo "package: the installed CMake files name the source tree"
  exit 1
fi

cmake -S "$root/examples/consumer" -B "$work/consumer" -DCMAKE_PREFIX_PATH="$work/prefix" \
  >"$work/consumer.cmake.txt"
jar="$work/prefix/share/java/tavrix-driver.jar"
[ -f "$jar" ] || { echo "package: no tavrix-driver.jar installed"; exit 1; }
grep -qx -- "-- Tavrix_JAR=$jar" "$work/consumer.cmake.txt" ||
  { cat "$work/consumer.cmake.txt"; echo "package: Tavrix_JAR does not name the installed jar"; exit 1; }
libdir=$(dirname "$(find "$work/prefix" -name libTavrixDriver.so | head -n1)")
grep -qx -- "-- Tavrix_JAVA_LIBRARY_PATH=$libdir" "$work/consumer.cmake.txt" ||
  { echo "package: Tavrix_JAVA_LIBRARY_PATH is not the library directory"; exit 1; }
for class in CANHeartbeatJNI CANSetDriverJNI; do
  jar tf "$jar" | grep -qx "com/zemdyn/jni/$class.class" ||
    { echo "package: the jar lacks $class"; exit 1; }
done
cmake --build "$work/consumer" -j"$jobs"
"$work/consumer/tavrix-consumer"
"$work/prefix/bin/tavrix-decode" --help >/dev/null
echo "package: installed, consumer built out of tree and ran"
