// The JVM entry points called as plain functions (no JVM): the library hook's
// version handshake and the natives' forwarding, bit patterns included.
#include <jni.h>

#include <array>

#include <gtest/gtest.h>
#include <hal/simulation/MockHooks.h>
#include <tavrix/TavrixDriver.h>

#include "../../driver/jni/TavrixDriverJNI.h"
#include "BusRecorder.h"

namespace {

jint g_getEnvResult = JNI_OK;
jint g_versionAsked = 0;

jint JNICALL FakeGetEnv(JavaVM*, void** env, jint version) {
  g_versionAsked = version;
  *env = nullptr;
  return g_getEnvResult;
}

TEST(DriverJniOnLoad, AsksForVersion16AndReportsIt) {
  struct Case {
    jint getEnvResult;
    jint expected;
  };
  for (const Case c : {Case{JNI_OK, 0x00010006}, Case{JNI_EVERSION, -1}, Case{JNI_EDETACHED, -1}}) {
    JNIInvokeInterface_ functions{};
    functions.GetEnv = &FakeGetEnv;
    JavaVM vm{&functions};
    g_getEnvResult = c.getEnvResult;
    g_versionAsked = 0;
    EXPECT_EQ(JNI_OnLoad(&vm, nullptr), c.expected) << "GetEnv result " << c.getEnvResult;
    EXPECT_EQ(g_versionAsked, 0x00010006);
  }
}

TEST(DriverJniNatives, ForwardEveryArgumentAsItsBitPattern) {
  BusRecorder bus;
  HALSIM_PauseTiming();
  Java_com_zemdyn_jni_CANHeartbeatJNI_RegisterDevice(nullptr, nullptr, 9);
  Java_com_zemdyn_jni_CANHeartbeatJNI_RegisterDevice(nullptr, nullptr, 64);
  EXPECT_EQ(ZEM_CANRegisteredDevices, 1ull << 9);
  Java_com_zemdyn_jni_CANHeartbeatJNI_UnregisterDevice(nullptr, nullptr, 9);
  EXPECT_EQ(ZEM_CANRegisteredDevices, 0u);
  Java_com_zemdyn_jni_CANHeartbeatJNI_RegisterDevice(nullptr, nullptr, 9);

  Java_com_zemdyn_jni_CANSetDriverJNI_SetDriverInit(nullptr, nullptr);
  Java_com_zemdyn_jni_CANSetDriverJNI_SetDriverSet4(nullptr, nullptr, 9, 0.5f, 2, jbyte{-1},
                                                    jshort{-1});
  Java_com_zemdyn_jni_CANSetDriverJNI_SetDriverSetCtrlFramePeriodMs(nullptr, nullptr, 9, 10);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(Java_com_zemdyn_jni_CANHeartbeatJNI_RunHeartbeat(nullptr, nullptr), 1);
    EXPECT_EQ(Java_com_zemdyn_jni_CANSetDriverJNI_RunSetDriver(nullptr, nullptr), 0);
  }
  const uint32_t id = CreateCANID(9, 2);
  ASSERT_TRUE(bus.WaitForCount(id, 1));
  EXPECT_EQ(bus.FramesFor(id).front().data,
            (std::array<uint8_t, 8>{0x00, 0x00, 0x00, 0x3F, 0xFF, 0xFF, 0xFF, 0x00}));

  bus.Clear();
  Java_com_zemdyn_jni_CANHeartbeatJNI_HeartbeatInit(nullptr, nullptr);
  EXPECT_EQ(bus.FramesForDevice(62).size(), 8u);  // the sweep of device 62 (of 504 calls)
}

}  // namespace
