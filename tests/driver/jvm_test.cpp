// The driver driven from a real JVM started in this process: the library is
// loaded from Java and every native method of com.zemdyn.jni is called as a
// Java method; what reached the driver is checked here, on the simulated bus.
#include <jni.h>

#include <array>
#include <initializer_list>
#include <string>

#include <gtest/gtest.h>
#include <hal/simulation/DriverStationData.h>
#include <hal/simulation/MockHooks.h>
#include <tavrix/TavrixDriver.h>

#include "../../driver/jni/TavrixDriverJNI.h"
#include "bus_recorder.h"

namespace {

using Bytes8 = std::array<uint8_t, 8>;

class Jvm {
 public:
  Jvm() {
    std::string classPath = "-Djava.class.path=" TAVRIX_TEST_CLASSPATH;
    std::array<JavaVMOption, 2> options{};
    options[0].optionString = classPath.data();
    options[1].optionString = const_cast<char*>("-Xrs");  // leave the process's signals alone
    JavaVMInitArgs args{};
    args.version = JNI_VERSION_1_6;
    args.nOptions = static_cast<jint>(options.size());
    args.options = options.data();
    void* env = nullptr;
    m_created = JNI_CreateJavaVM(&m_vm, &env, &args) == JNI_OK;
    m_env = static_cast<JNIEnv*>(env);
  }

  bool Created() const { return m_created; }
  JavaVM* Vm() const { return m_vm; }

  // Calls a static Java method; fails the test on a Java exception.
  template <typename Call>
  auto Static(const char* cls, const char* name, const char* sig, Call call) {
    jclass c = m_env->FindClass(cls);
    EXPECT_NE(c, nullptr) << cls;
    jmethodID m = m_env->GetStaticMethodID(c, name, sig);
    EXPECT_NE(m, nullptr) << name << sig;
    auto result = call(m_env, c, m);
    if (m_env->ExceptionCheck()) {
      m_env->ExceptionDescribe();
      ADD_FAILURE() << "Java exception in " << cls << "." << name;
    }
    return result;
  }
  void Void(const char* cls, const char* name, const char* sig,
            std::initializer_list<jvalue> args = {}) {
    Static(cls, name, sig, [&](JNIEnv* e, jclass c, jmethodID m) {
      e->CallStaticVoidMethodA(c, m, args.begin());
      return 0;
    });
  }
  jint IntCall(const char* cls, const char* name) {
    return Static(cls, name, "()I",
                  [](JNIEnv* e, jclass c, jmethodID m) { return e->CallStaticIntMethod(c, m); });
  }
  JNIEnv* Env() const { return m_env; }

 private:
  JavaVM* m_vm = nullptr;
  JNIEnv* m_env = nullptr;
  bool m_created = false;
};

jvalue Int(jint v) {
  jvalue j{};
  j.i = v;
  return j;
}
jvalue Float(jfloat v) {
  jvalue j{};
  j.f = v;
  return j;
}
jvalue Byte(jbyte v) {
  jvalue j{};
  j.b = v;
  return j;
}
jvalue Short(jshort v) {
  jvalue j{};
  j.s = v;
  return j;
}

constexpr const char* kHeartbeat = "com/zemdyn/jni/CANHeartbeatJNI";
constexpr const char* kSetDriver = "com/zemdyn/jni/CANSetDriverJNI";

TEST(DriverJvm, EveryNativeMethodReachesTheDriver) {
  Jvm jvm;
  ASSERT_TRUE(jvm.Created());
  jstring path = jvm.Env()->NewStringUTF(TAVRIX_DRIVER_LIBRARY);
  jvalue pathArg{};
  pathArg.l = path;
  jvm.Void("DriverJniClient", "load", "(Ljava/lang/String;)V", {pathArg});
  EXPECT_EQ(JNI_OnLoad(jvm.Vm(), nullptr), 0x00010006);

  BusRecorder bus;
  HALSIM_PauseTiming();
  HALSIM_SetDriverStationEnabled(1);
  jvm.Void(kHeartbeat, "HeartbeatInit", "()V");
  EXPECT_EQ(bus.Frames().size(), 504u);
  bus.Clear();

  jvm.Void(kHeartbeat, "RegisterDevice", "(I)V", {Int(5)});
  jvm.Void(kHeartbeat, "RegisterDevice", "(I)V", {Int(7)});
  jvm.Void(kHeartbeat, "RegisterDevice", "(I)V", {Int(64)});  // ignored
  jvm.Void(kHeartbeat, "UnregisterDevice", "(I)V", {Int(7)});
  EXPECT_EQ(__atomic_load_n(&ZEM_CANRegisteredDevices, __ATOMIC_ACQUIRE), 1ull << 5);

  jvm.Void(kSetDriver, "SetDriverInit", "()V");
  jvm.Void(kSetDriver, "SetDriverSet4", "(IFIBS)V",
           {Int(5), Float(0.5f), Int(2), Byte(-1), Short(-1)});
  jvm.Void(kSetDriver, "SetDriverSet4", "(IFIBS)V",  // ignored: not a device number
           {Int(69), Float(7.0f), Int(18), Byte(1), Short(1)});
  jvm.Void(kSetDriver, "SetDriverSetCtrlFramePeriodMs", "(II)V", {Int(5), Int(10)});
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(jvm.IntCall(kHeartbeat, "RunHeartbeat"), 1);
    EXPECT_EQ(jvm.IntCall(kSetDriver, "RunSetDriver"), 0);
  }

  const uint32_t setpointId = CreateCANID(5, 2);
  const uint32_t heartbeatId = CreateCANID(0, 146);
  ASSERT_TRUE(bus.WaitForCount(setpointId, 1));
  ASSERT_TRUE(bus.WaitForCount(heartbeatId, 1));
  HALSIM_StepTiming(100000);
  const std::vector<SentFrame> setpoints = bus.FramesForDevice(5);
  ASSERT_EQ(setpoints.size(), 11u);  // one sender thread, every 10 ms
  for (const SentFrame& f : setpoints) {
    EXPECT_EQ(f.id, setpointId);
    // Value 0.5, aux word -1, slot 255.
    EXPECT_EQ(f.data, (Bytes8{0x00, 0x00, 0x00, 0x3F, 0xFF, 0xFF, 0xFF, 0x00}));
  }
  const std::vector<SentFrame> heartbeats = bus.FramesFor(heartbeatId);
  ASSERT_EQ(heartbeats.size(), 5u);  // one heartbeat thread, every 25 ms
  EXPECT_EQ(heartbeats.back().data, (Bytes8{0x20, 0, 0, 0, 0, 0, 0, 0}));
}

}  // namespace
