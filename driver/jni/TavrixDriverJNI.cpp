// JVM entry points of the driver: the library hooks and the native methods of
// com.zemdyn.jni.CANHeartbeatJNI and com.zemdyn.jni.CANSetDriverJNI. Each
// native forwards its arguments unchanged to the C function of the same name;
// the environment and class arguments are not used.
#include "TavrixDriverJNI.h"

#include <tavrix/TavrixDriver.h>

extern "C" {

JNIEXPORT jint JNICALL JNI_OnLoad(JavaVM* vm, void* /*reserved*/) {
  JNIEnv* env = nullptr;
  if (vm->GetEnv(reinterpret_cast<void**>(&env), JNI_VERSION_1_6) != JNI_OK) return JNI_ERR;
  return JNI_VERSION_1_6;
}

JNIEXPORT void JNICALL JNI_OnUnload(JavaVM* /*vm*/, void* /*reserved*/) {}

JNIEXPORT void JNICALL Java_com_zemdyn_jni_CANHeartbeatJNI_HeartbeatInit(JNIEnv*, jclass) {
  ZEM_CANTavrixHeartbeatInit();
}

JNIEXPORT jint JNICALL Java_com_zemdyn_jni_CANHeartbeatJNI_RunHeartbeat(JNIEnv*, jclass) {
  return ZEM_CANTavrixRunHeartbeat();
}

JNIEXPORT void JNICALL Java_com_zemdyn_jni_CANHeartbeatJNI_RegisterDevice(JNIEnv*, jclass,
                                                                          jint deviceId) {
  ZEM_CANTavrixRegisterDevice(deviceId);
}

JNIEXPORT void JNICALL Java_com_zemdyn_jni_CANHeartbeatJNI_UnregisterDevice(JNIEnv*, jclass,
                                                                            jint deviceId) {
  ZEM_CANTavrixUnregisterDevice(deviceId);
}

JNIEXPORT void JNICALL Java_com_zemdyn_jni_CANSetDriverJNI_SetDriverInit(JNIEnv*, jclass) {
  ZEM_CANTavrixSetDriverInit();
}

JNIEXPORT jint JNICALL Java_com_zemdyn_jni_CANSetDriverJNI_RunSetDriver(JNIEnv*, jclass) {
  return ZEM_CANTavrixRunSetDriver();
}

// Java has no unsigned byte: the slot travels as its bit pattern, (byte)-1 is 255.
JNIEXPORT void JNICALL Java_com_zemdyn_jni_CANSetDriverJNI_SetDriverSet4(
    JNIEnv*, jclass, jint deviceId, jfloat value, jint apiId, jbyte pidSlot, jshort auxWord) {
  ZEM_CANTavrixSetDriverSet4(deviceId, value, apiId, static_cast<uint8_t>(pidSlot), auxWord);
}

JNIEXPORT void JNICALL Java_com_zemdyn_jni_CANSetDriverJNI_SetDriverSetCtrlFramePeriodMs(
    JNIEnv*, jclass, jint deviceId, jint periodMs) {
  ZEM_CANTavrixSetDriverSetCtrlFramePeriodMs(deviceId, periodMs);
}

}  // extern "C"
