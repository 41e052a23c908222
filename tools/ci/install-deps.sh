#!/usr/bin/env bash
# Installs, with apt-get, whatever the build, the tests and the tool checks need
# and the machine lacks. Safe to run repeatedly.
set -euo pipefail
declare -A want=(
  [g++]=g++ [cmake]=cmake [ninja]=ninja-build [javac]=openjdk-17-jdk-headless
  [log2asc]=can-utils [asc2log]=can-utils [tshark]=tshark [text2pcap]=tshark [clang++]=clang
  [arm-linux-gnueabi-g++]=g++-arm-linux-gnueabi [qemu-arm]=qemu-user
  [xz]=xz-utils  # unpacks the WPILib archive (extra-wpilib.sh)
  [gcovr]=gcovr  # line coverage (extra-coverage.sh)
  [clang-format]=clang-format [clang-tidy]=clang-tidy [run-clang-tidy]=clang-tidy  # extra-lint.sh
)
missing=()
for cmd in "${!want[@]}"; do command -v "$cmd" >/dev/null 2>&1 || missing+=("${want[$cmd]}"); done
[ -f /usr/include/gtest/gtest.h ] || missing+=(libgtest-dev)
[ -f /usr/include/gmock/gmock.h ] || missing+=(libgmock-dev)
# GoogleTest's sources, for the cross build for the ARM controller.
[ -f /usr/src/googletest/CMakeLists.txt ] || missing+=(googletest)
[ -f /usr/include/benchmark/benchmark.h ] || missing+=(libbenchmark-dev)
# WPILib 2026's Java side takes its third-party jars from Debian; the Java object
# API's tests run on JUnit 5 (extra-java.sh).
declare -A jars=(
  [jackson-core]=libjackson2-core-java [jackson-databind]=libjackson2-databind-java
  [jackson-annotations]=libjackson2-annotations-java [ejml-core]=libejml-java
  [junit-platform-console-standalone]=junit5
)
for jar in "${!jars[@]}"; do [ -f "/usr/share/java/$jar.jar" ] || missing+=("${jars[$jar]}"); done
ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1 || missing+=(libclang-rt-dev)
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
else
  echo "all packages present"
fi
