// Arbitration ids and the device registry word.
#include <climits>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>
#include <tavrix/TavrixDriver.h>

namespace {

uint64_t RegistryWord() { return __atomic_load_n(&ZEM_CANRegisteredDevices, __ATOMIC_ACQUIRE); }

struct IdCase {
  int32_t device;
  int32_t api;
  uint32_t id;
};

TEST(DriverCanId, ComposesAndMasksBothFields) {
  const IdCase cases[] = {
      {0, 146, 0x02052480u},  // the heartbeat id
      {1, 2, 0x02050081u},
      {3, 770, 0x0205C083u},
      {70, 5, 0x02050146u},        // device number cut to its low 6 bits
      {63, 1023, 0x0205FFFFu},     // highest id of this kind
      {5, 1024 + 2, 0x02050085u},  // API id cut to its low 10 bits
      {-1, -1, 0x0205FFFFu},       // negative numbers are masked, not rejected
      {INT_MIN, INT_MIN, 0x02050000u},
  };
  for (const IdCase& c : cases) {
    EXPECT_EQ(CreateCANID(c.device, c.api), c.id) << "device " << c.device << " api " << c.api;
  }
}

// Other programs reach the word with 64-bit atomic instructions, which on a
// 32-bit processor fault or tear on a word that is not 8-byte aligned.
TEST(DriverRegistry, ExportedWordIsEightByteAligned) {
  EXPECT_EQ(reinterpret_cast<uintptr_t>(&ZEM_CANRegisteredDevices) % 8, 0u);
}

TEST(DriverRegistry, RegisteringSetsOnlyValidBits) {
  struct Step {
    int32_t device;
    uint64_t wordAfter;
  };
  const Step steps[] = {
      {3, 0x8u},
      {3, 0x8u},  // registering twice changes nothing
      {1, 0xAu},
      {62, 0x400000000000000Au},
      {0, 0x400000000000000Au},  // numbers outside 1..62 are ignored
      {63, 0x400000000000000Au},
      {64, 0x400000000000000Au},
      {65, 0x400000000000000Au},  // would alias device 1 if masked
      {-1, 0x400000000000000Au},
      {INT_MIN, 0x400000000000000Au},
      {INT_MAX, 0x400000000000000Au},
  };
  ASSERT_EQ(RegistryWord(), 0u);
  for (const Step& s : steps) {
    ZEM_CANTavrixRegisterDevice(s.device);
    EXPECT_EQ(RegistryWord(), s.wordAfter) << "after registering " << s.device;
  }
}

TEST(DriverRegistry, UnregisteringClearsOnlyThatBit) {
  ZEM_CANTavrixRegisterDevice(1);
  ZEM_CANTavrixRegisterDevice(5);
  ZEM_CANTavrixRegisterDevice(62);
  const uint64_t all = (1ull << 1) | (1ull << 5) | (1ull << 62);
  ASSERT_EQ(RegistryWord(), all);
  for (int32_t invalid : {0, 63, 64, 69, -1, -59, INT_MIN, INT_MAX}) {
    ZEM_CANTavrixUnregisterDevice(invalid);
    EXPECT_EQ(RegistryWord(), all) << "after unregistering " << invalid;
  }
  ZEM_CANTavrixUnregisterDevice(5);
  EXPECT_EQ(RegistryWord(), all & ~(1ull << 5));
  ZEM_CANTavrixUnregisterDevice(5);  // not registered: unchanged
  EXPECT_EQ(RegistryWord(), all & ~(1ull << 5));
  ZEM_CANTavrixUnregisterDevice(1);
  ZEM_CANTavrixUnregisterDevice(62);
  EXPECT_EQ(RegistryWord(), 0u);
}

}  // namespace
