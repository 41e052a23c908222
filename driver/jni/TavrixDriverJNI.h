// Declarations of the driver's JVM entry points (the natives of
// com.zemdyn.jni.CANHeartbeatJNI and com.zemdyn.jni.CANSetDriverJNI).
#pragma once

#include <jni.h>

#ifdef __cplusplus
extern "C" {
#endif

// JNI_OnLoad and JNI_OnUnload are declared by jni.h itself.

JNIEXPORT void JNICALL Java_com_zemdyn_jni_CANHeartbeatJNI_HeartbeatInit(JNIEnv* env, jclass cls);
JNIEXPORT jint JNICALL Java_com_zemdyn_jni_CANHeartbeatJNI_RunHeartbeat(JNIEnv* env, jclass cls);
JNIEXPORT void JNICALL Java_com_zemdyn_jni_CANHeartbeatJNI_RegisterDevice(JNIEnv* env, jclass cls,
                                                                          jint deviceId);
JNIEXPORT void JNICALL Java_com_zemdyn_jni_CANHeartbeatJNI_UnregisterDevice(JNIEnv* env, jclass cls,
                                                                            jint deviceId);

JNIEXPORT void JNICALL Java_com_zemdyn_jni_CANSetDriverJNI_SetDriverInit(JNIEnv* env, jclass cls);
JNIEXPORT jint JNICALL Java_com_zemdyn_jni_CANSetDriverJNI_RunSetDriver(JNIEnv* env, jclass cls);
JNIEXPORT void JNICALL Java_com_zemdyn_jni_CANSetDriverJNI_SetDriverSet4(JNIEnv* env, jclass cls,
                                                                         jint deviceId,
                                                                         jfloat value, jint apiId,
                                                                         jbyte pidSlot,
                                                                         jshort auxWord);
JNIEXPORT void JNICALL Java_com_zemdyn_jni_CANSetDriverJNI_SetDriverSetCtrlFramePeriodMs(
    JNIEnv* env, jclass cls, jint deviceId, jint periodMs);

#ifdef __cplusplus
}  // extern "C"
#endif
