// The low-level device against a simulated controller, end to end: firmware
// text, a parameter written and read back, the setpoint repeated on the bus
// every 10 ms and the controller's status frame reporting it, and the age of
// the newest status frame while the controller goes quiet and comes back.
#include <cmath>
#include <vector>

#include <gtest/gtest.h>
#include <hal/simulation/DriverStationData.h>
#include <hal/simulation/MockHooks.h>

#include "lowlevel_fixture.h"
#include "tavrix/Wire.h"
#include "tavrix/sim/SimController.h"

namespace lowlevel_test {
namespace {

namespace wire = zem::wire;
constexpr int kDevice = 4;

using EndToEndTest = LowLevelTest;

TEST_F(EndToEndTest, DeviceOnASimulatedController) {
  tavrix::sim::SimOptions options;
  options.firmwareVersion = wire::FirmwareVersion(1, 6, 300);
  tavrix::sim::SimController controller(kDevice, options);
  TestDevice device(kDevice, MotorType::kMotorKind0);

  EXPECT_EQ(device.GetFirmwareString(), "v1.6.300");
  EXPECT_TRUE(halsim::GetDriverStationErrors().empty());
  EXPECT_EQ(device.GetMotorType(), MotorType::kMotorKind0);

  EXPECT_EQ(device.SetParameter(Param::kP_1, 0.75), PStatus::kOK);
  double p = 0.0;
  EXPECT_EQ(device.GetParameter(Param::kP_1, p), PStatus::kOK);
  EXPECT_EQ(p, 0.75);

  ASSERT_TRUE(AwaitSetpointThread(kDevice));
  HALSIM_SetDriverStationEnabled(1);
  ASSERT_EQ(device.SetpointCommand(0.5, zem::ControlType::kControlType0, 0, 0.0),
            zem::CANError::kSuccess);
  HALSIM_StepTiming(10000);
  const size_t mark = TraceSize();
  for (int i = 0; i < 5; ++i) HALSIM_StepTiming(10000);

  const auto frames = SetpointsTo(kDevice, mark);
  ASSERT_EQ(frames.size(), 5u);
  for (size_t i = 0; i < frames.size(); ++i) {
    EXPECT_EQ(frames[i].api, 2);
    EXPECT_EQ(frames[i].bytes, (Bytes{0, 0, 0, 0x3F, 0, 0, 0, 0}));
    if (i > 0) {
      EXPECT_EQ(frames[i].timestampUs - frames[i - 1].timestampUs, 10000u);
    }
  }
  EXPECT_EQ(controller.GetState().lastSetpoint.value, 0.5f);

  // The controller drives the output and reports it in status frame 0.
  EXPECT_NEAR(device.GetPeriodicStatus0().appliedOutput, 0.5, 1.0 / 32767);
  device.SetInverted(true);
  EXPECT_NEAR(device.GetPeriodicStatus0().appliedOutput, -0.5, 1.0 / 32767);
  HALSIM_SetDriverStationEnabled(0);
}

TEST_F(EndToEndTest, StatusFrameAgeShowsAControllerGoingQuiet) {
  using Frame = Device::PeriodicFrame;
  tavrix::sim::SimController controller(kDevice);
  TestDevice device(kDevice);
  // Frames are on the bus, but the age comes from the reads that got one.
  HALSIM_StepTiming(100000);
  EXPECT_EQ(device.GetStatusFrameAgeMs(Frame::kStatus1), Device::kNoStatusFrame);
  EXPECT_EQ(device.GetPeriodicStatus1().busVoltage, 12.0);
  EXPECT_LE(device.GetStatusFrameAgeMs(Frame::kStatus1), 20);  // the controller's period
  EXPECT_EQ(device.GetStatusFrameAgeMs(Frame::kStatus0), Device::kNoStatusFrame);
  EXPECT_EQ(device.GetStatusFrameAgeMs(static_cast<Frame>(3)), Device::kNoStatusFrame);

  tavrix::sim::BusFaults unplugged;
  unplugged.statusFramesStopped = true;
  controller.SetBusFaults(unplugged);
  HALSIM_StepTiming(500000);
  EXPECT_EQ(device.GetPeriodicStatus1().busVoltage, 0.0) << "the fallback stays";
  const int64_t quiet = device.GetStatusFrameAgeMs(Frame::kStatus1);
  EXPECT_GE(quiet, 500);
  EXPECT_LE(quiet, 520);
  // The age keeps growing without reads, and asking sends nothing.
  HALSIM_StepTiming(200000);
  const size_t mark = TraceSize();
  EXPECT_EQ(device.GetStatusFrameAgeMs(Frame::kStatus1), quiet + 200);
  EXPECT_EQ(TraceSize(), mark);

  controller.SetBusFaults(tavrix::sim::BusFaults{});
  HALSIM_StepTiming(50000);
  EXPECT_EQ(device.GetPeriodicStatus1().busVoltage, 12.0);
  EXPECT_LE(device.GetStatusFrameAgeMs(Frame::kStatus1), 20);
}

}  // namespace
}  // namespace lowlevel_test
