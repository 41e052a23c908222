# Cross build for the robot controller: a dual-core 32-bit ARMv7 (Cortex-A9)
# running Linux, soft-float calling convention with VFPv3 hardware.
# Compiler: Debian's arm-linux-gnueabi cross toolchain (g++-arm-linux-gnueabi);
# tests run under qemu's user-mode emulator (qemu-user) against that
# toolchain's libraries, so `ctest` works on an x86 machine as it would on the
# controller.
#   cmake -S . -B build-arm --toolchain cmake/toolchains/armv7-softfp.cmake
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)

set(TAVRIX_CROSS_TRIPLE arm-linux-gnueabi)
set(TAVRIX_CROSS_ROOT /usr/${TAVRIX_CROSS_TRIPLE})
set(CMAKE_C_COMPILER ${TAVRIX_CROSS_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${TAVRIX_CROSS_TRIPLE}-g++)

set(TAVRIX_ARM_FLAGS "-march=armv7-a -mfpu=vfpv3 -mfloat-abi=softfp")
# GCC notes that passing some aggregates changed in GCC 7.1; everything here is
# built by one compiler, so the note says nothing about this build.
string(APPEND TAVRIX_ARM_FLAGS " -Wno-psabi")
set(CMAKE_C_FLAGS_INIT "${TAVRIX_ARM_FLAGS}")
set(CMAKE_CXX_FLAGS_INIT "${TAVRIX_ARM_FLAGS}")

# Libraries and headers of the target only; programs (javac, nm's host tools) from the host.
set(CMAKE_FIND_ROOT_PATH ${TAVRIX_CROSS_ROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test executables run under emulation of the controller's processor.
find_program(TAVRIX_QEMU_ARM NAMES qemu-arm qemu-arm-static NO_CMAKE_FIND_ROOT_PATH)
if(TAVRIX_QEMU_ARM)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TAVRIX_QEMU_ARM} -cpu cortex-a9 -L ${TAVRIX_CROSS_ROOT})
endif()
