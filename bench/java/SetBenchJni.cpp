// The floors of the Java set() benchmark: a JNI call straight into the C++
// CANTavrix::Set through a raw pointer (the least a Java call of Set can
// cost), and an empty JNI call of the same signature.
#include <jni.h>

// javac -h writes the declarations at build time, so the definitions below are
// checked against the Java side; a configure-only build (the linter) lacks them.
#if __has_include("com_zemdyn_tavrix_bench_SetBench.h")
#include "com_zemdyn_tavrix_bench_SetBench.h"  // IWYU pragma: keep
#endif

#include <cstdint>

#include "tavrix/CANTavrix.h"

extern "C" {

JNIEXPORT jlong JNICALL Java_com_zemdyn_tavrix_bench_SetBench_rawCreate(JNIEnv*, jclass,
                                                                        jint deviceId) {
  // Kept for the whole run; the benchmark's process ends with it.
  auto* device = new zem::CANTavrix(deviceId, zem::CANTavrixLowLevel::MotorType::kMotorKind1);
  return static_cast<jlong>(reinterpret_cast<intptr_t>(device));
}

JNIEXPORT void JNICALL Java_com_zemdyn_tavrix_bench_SetBench_rawSet(JNIEnv*, jclass, jlong device,
                                                                    jdouble speed) {
  // The floor is the raw-pointer call that the API's handles replace.
  // NOLINTNEXTLINE(performance-no-int-to-ptr)
  reinterpret_cast<zem::CANTavrix*>(static_cast<intptr_t>(device))->Set(speed);
}

JNIEXPORT void JNICALL Java_com_zemdyn_tavrix_bench_SetBench_emptyCall(JNIEnv*, jclass, jint,
                                                                       jdouble) {}

}  // extern "C"
