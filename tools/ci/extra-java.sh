#!/usr/bin/env bash
# The Java object API on WPILib 2026: builds WPILib 2026's C++ and Java sides
# once into the cache outside the clone (build-wpilib2026-java.sh reuses a
# complete install), builds the API, the Java robot example, the JUnit tests
# and the set() benchmark against it, runs the tests (one JVM per test class;
# ctest reads the JUnit launcher's exit code) and the benchmark's smoke run,
# then installs the package and, against the installed package only, builds
# and runs a check program (the JVM must end by itself, status 0) and the Java
# arm robot of examples/robot-java in simulation.
# Usage: extra-java.sh <repo root>
#   WPILIB_JAVA_SRC  folder of build-wpilib2026-java.sh (default: <repo root>/../shared/wpilib2026-java)
#   WPILIB2026_PREFIX  install cache, as in extra-wpilib.sh (default: /var/cache/tavrix/wpilib-2026.2.2)
set -euo pipefail
root=$(cd "${1:?usage: extra-java.sh <repo root>}" && pwd)
jobs=${CI_JOBS:-2}
src=${WPILIB_JAVA_SRC:-$root/../shared/wpilib2026-java}
prefix=${WPILIB2026_PREFIX:-/var/cache/tavrix/wpilib-2026.2.2}
# The 2026 build directory of extra-wpilib.sh: one build serves both stages.
build="$root/build-wpilib2026"

[ -f "$src/build-wpilib2026-java.sh" ] || { echo "java: $src/build-wpilib2026-java.sh not found" >&2; exit 1; }
start=$(date +%s)
JOBS=$jobs bash "$src/build-wpilib2026-java.sh" "$prefix"
echo "java: WPILib 2026 (C++ and Java) ready in $(( $(date +%s) - start )) s"

cmake -S "$root" -B "$build" -DTAVRIX_REAL_WPILIB=ON -Dwpilib_DIR="$prefix" >/dev/null
grep -q '^TAVRIX_JAVA_API:INTERNAL=ON' "$build/CMakeCache.txt" || { echo "java: the Java object API was left out" >&2; exit 1; }
cmake --build "$build" -j"$jobs" --target tavrix-java TavrixJavaTests tavrix-java-bench
# The robot test serves NetworkTables on fixed ports: ctest runs it alone (RUN_SERIAL).
ctest --test-dir "$build" -L java -j"$jobs" --output-on-failure

# The installed package on its own: no build-tree path, no LD_LIBRARY_PATH.
cmake --build "$build" -j"$jobs"
install="$build/package-check/prefix"
rm -rf "$build/package-check"
cmake --install "$build" --prefix "$install" >/dev/null
classpath="$install/share/java/tavrix-java.jar:$(cat "$prefix/java/classpath.txt")"
mkdir -p "$build/package-check/classes"
javac --release 17 -d "$build/package-check/classes" -cp "$classpath" "$root/tests/java/package/PackageCheck.java"
(cd "$build/package-check" && env -u LD_LIBRARY_PATH java -Djava.library.path="$install/lib:$prefix/lib" \
   -cp "classes:$classpath" PackageCheck)

# The Java arm robot built out of tree against the installed package, then run
# in simulation: a robot program runs until it is stopped, so it must start
# and keep running.
cmake -S "$root/examples/robot-java" -B "$build/package-check/robot" \
  -DCMAKE_PREFIX_PATH="$install;$prefix" >/dev/null
cmake --build "$build/package-check/robot" -j"$jobs"
status=0
(cd "$build/package-check" && env -u LD_LIBRARY_PATH timeout 5 java -Djava.library.path="$install/lib:$prefix/lib" \
   -cp "robot/tavrix-robot-java.jar:$classpath" frc.robot.Main >robot.log 2>&1) || status=$?
grep -q "Robot program startup complete" "$build/package-check/robot.log" && [ "$status" = 124 ] ||
  { cat "$build/package-check/robot.log"; echo "java: the arm robot did not start and run (status $status)" >&2; exit 1; }
echo "java: the tests passed, the installed package served a program and the arm robot"
