// The library hook's version handshake, against a stand-in VM whose GetEnv
// succeeds or fails (the natives are driven from a real JVM in JvmTest.cpp).
#include <jni.h>

#include <gtest/gtest.h>

#include "../../driver/jni/TavrixDriverJNI.h"

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

}  // namespace
