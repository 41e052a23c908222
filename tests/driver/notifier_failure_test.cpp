// When the platform cannot create a notifier, both loops still pace themselves
// instead of spinning. This executable replaces HAL_InitializeNotifier (the
// driver's call resolves to it, the executable being first in symbol lookup)
// with one that fails; the clock runs in real time.
#include <vector>

#include <gtest/gtest.h>
#include <hal/Notifier.h>
#include <tavrix/TavrixDriver.h>

#include "bus_recorder.h"

extern "C" HAL_NotifierHandle HAL_InitializeNotifier(int32_t* status) {
  *status = -1;
  return HAL_kInvalidHandle;
}

namespace {

// A spinning loop sends frames microseconds apart. The loops pace to fixed
// deadlines, so a frame sent late (real time, possibly under emulation) is
// followed by a shorter gap: each gap must be a good part of a period, and the
// whole run most of the periods it spans.
void ExpectPaced(const std::vector<SentFrame>& frames, uint64_t periodUs) {
  ASSERT_GE(frames.size(), 2u);
  for (size_t i = 1; i < frames.size(); ++i) {
    EXPECT_GE(frames[i].timeUs - frames[i - 1].timeUs, periodUs / 4) << "gap " << i;
  }
  EXPECT_GE(frames.back().timeUs - frames.front().timeUs, (frames.size() - 1) * periodUs * 4 / 5);
}

TEST(DriverWithoutNotifier, HeartbeatKeepsItsPeriod) {
  BusRecorder bus;
  ASSERT_EQ(ZEM_CANTavrixRunHeartbeat(), 1);
  const uint32_t heartbeatId = CreateCANID(0, 146);
  ASSERT_TRUE(bus.WaitForCount(heartbeatId, 4));
  ExpectPaced(bus.FramesFor(heartbeatId), 25000);
}

TEST(DriverWithoutNotifier, SetpointSenderKeepsThePeriod) {
  BusRecorder bus;
  ZEM_CANTavrixRegisterDevice(5);
  ZEM_CANTavrixSetDriverSetCtrlFramePeriodMs(5, 10);
  ASSERT_EQ(ZEM_CANTavrixRunSetDriver(), 0);
  const uint32_t id = CreateCANID(5, 0);
  ASSERT_TRUE(bus.WaitForCount(id, 4));
  ExpectPaced(bus.FramesFor(id), 10000);
}

}  // namespace
