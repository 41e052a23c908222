// The simulated controller on WPILib 2026's simulation: each test in its own
// process, time paused and restarted at 0 before anything ticks.
#include <array>
#include <cmath>
#include <cstdio>
#include <string>
#include <utility>

#include <frc/simulation/DCMotorSim.h>
#include <frc/simulation/SimDeviceSim.h>
#include <frc/system/plant/DCMotor.h>
#include <frc/system/plant/LinearSystemId.h>
#include <gtest/gtest.h>
#include <hal/CAN.h>
#include <hal/simulation/CanData.h>
#include <hal/simulation/DriverStationData.h>
#include <hal/simulation/MockHooks.h>
#include <units/angular_velocity.h>
#include <units/moment_of_inertia.h>

#include "tavrix/CANTavrix.h"
#include "tavrix/sim/ParameterIds.h"
#include "tavrix/sim/SimController.h"

namespace {

using tavrix::sim::SimController;
constexpr auto kMotor = zem::CANTavrixLowLevel::MotorType::kMotorKind1;
constexpr int kDevice = 3;
constexpr double kTwoPi = 6.283185307179586;

void PauseAtZero() {
  HALSIM_PauseTiming();
  HALSIM_RestartTiming();
}

void StepMs(uint64_t ms) { HALSIM_StepTiming(ms * 1000); }

// The robot's commands reach the controller through WPILib's send callback,
// its status frames the robot through the receive callback.
TEST(Sim2026, RobotCommandsMoveTheControllerAndItsStatusReachesTheRobot) {
  PauseAtZero();
  SimController sim(kDevice);
  zem::CANTavrix motor(kDevice, kMotor);
  HALSIM_SetDriverStationEnabled(1);
  motor.Set(0.5);
  StepMs(500);
  EXPECT_NEAR(sim.GetAppliedOutput(), 0.5, 0.01);
  EXPECT_GT(sim.GetVelocity(), 2000.0);
  EXPECT_NEAR(motor.GetAppliedOutput(), sim.GetAppliedOutput(), 0.01);
  EXPECT_NEAR(motor.GetEncoder().GetVelocity(), sim.GetVelocity(), 0.02 * sim.GetVelocity());

  HALSIM_SetDriverStationEnabled(0);  // the heartbeat drops the device: outputs off
  StepMs(200);
  EXPECT_EQ(sim.GetAppliedOutput(), 0.0);
  EXPECT_FALSE(sim.GetState().outputsEnabled);
}

// A read is answered inside the send: paused time does not move while the robot waits.
TEST(Sim2026, ParameterReadIsAnsweredWhileTimeStands) {
  PauseAtZero();
  SimController sim(kDevice);
  zem::CANTavrix motor(kDevice, kMotor);
  auto pid = motor.GetPIDController();
  StepMs(2);  // the constructor's writes take effect
  const uint64_t writesBefore = sim.GetState().counts.parameterWrites;
  ASSERT_EQ(pid.SetP(0.125), zem::CANError::kSuccess);
  EXPECT_EQ(pid.GetP(), 0.125);
  const auto stored = sim.GetParameter(tavrix::sim::param::kP);
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->word, zem::wire::FloatBits(0.125f));
  EXPECT_EQ(sim.GetState().counts.parameterWrites, writesBefore);  // its effect waits for the tick
  StepMs(2);
  EXPECT_EQ(sim.GetState().counts.parameterWrites, writesBefore + 1);
}

TEST(Sim2026, SimDeviceShowsTheStateAndSetsTheBusVoltage) {
  PauseAtZero();
  SimController sim(kDevice);
  zem::CANTavrix motor(kDevice, kMotor);
  HALSIM_SetDriverStationEnabled(1);
  motor.Set(0.5);
  StepMs(200);

  frc::sim::SimDeviceSim device("Tavrix", kDevice);
  ASSERT_TRUE(device);
  const tavrix::sim::SimState s = sim.GetState();
  EXPECT_EQ(device.GetDouble("appliedOutput").Get(), s.appliedOutput);
  EXPECT_EQ(device.GetDouble("motorVoltage").Get(), s.motorVoltage);
  EXPECT_EQ(device.GetDouble("velocity").Get(), s.velocity);
  EXPECT_EQ(device.GetDouble("position").Get(), s.position);
  EXPECT_EQ(device.GetDouble("outputCurrent").Get(), s.outputCurrent);
  EXPECT_EQ(device.GetDouble("temperature").Get(), s.temperatureC);
  EXPECT_EQ(device.GetDouble("busVoltage").Get(), s.busVoltage);
  EXPECT_GT(s.velocity, 1000.0);

  device.GetDouble("busVoltage").Set(10.0);  // as the simulation GUI edits it
  StepMs(2);
  EXPECT_EQ(sim.GetState().busVoltage, 10.0);
  EXPECT_NEAR(sim.GetState().motorVoltage, 5.0, 0.5);
  device.GetDouble("busVoltage").Set(-1.0);  // refused, as SetBusVoltage refuses it
  StepMs(2);
  EXPECT_EQ(sim.GetState().busVoltage, 10.0);
  EXPECT_EQ(device.GetDouble("busVoltage").Get(), 10.0);

  SimController twin(kDevice);
  EXPECT_FALSE(twin.IsAttached());
}

// One's own model drives the rotor: a WPILib DCMotorSim fed with the
// controller's motor voltage, its state given back each 20 ms.
TEST(Sim2026, WpilibPhysicsModelDrivesTheRotor) {
  PauseAtZero();
  SimController sim(kDevice);
  zem::CANTavrix motor(kDevice, kMotor);
  HALSIM_SetDriverStationEnabled(1);
  const tavrix::sim::DcMotor m = tavrix::sim::DcMotor::Brushless();
  const frc::DCMotor gearbox(units::volt_t(m.nominalVolts), units::newton_meter_t(m.stallTorqueNm),
                             units::ampere_t(m.stallCurrentA), units::ampere_t(m.freeCurrentA),
                             units::revolutions_per_minute_t(m.freeSpeedRpm));
  constexpr double kGearing = 5.0;
  frc::sim::DCMotorSim wheel(
      frc::LinearSystemId::DCMotorSystem(gearbox, units::kilogram_square_meter_t(0.01), kGearing),
      gearbox);
  motor.Set(0.5);
  double rotorRotations = 0.0;
  double rotorRpm = 0.0;
  for (int i = 0; i < 100; ++i) {
    wheel.SetInputVoltage(units::volt_t(sim.GetMotorVoltage()));
    wheel.Update(units::second_t(0.02));
    rotorRotations = wheel.GetAngularPosition().value() * kGearing / kTwoPi;
    rotorRpm = wheel.GetAngularVelocity().value() * kGearing * 60.0 / kTwoPi;
    ASSERT_TRUE(sim.SetRotorState(rotorRotations, rotorRpm));
    StepMs(20);
  }
  // Two seconds at half voltage: near half the free speed.
  EXPECT_NEAR(rotorRpm, 0.5 * m.freeSpeedRpm, 0.1 * m.freeSpeedRpm);
  EXPECT_EQ(sim.GetVelocity(), rotorRpm);
  EXPECT_EQ(sim.GetPosition(), rotorRotations);
  // The status frame sent at this instant is readable just after it (a robot
  // loop at the same instant reads the one before, whichever thread runs first).
  const double statusBefore = motor.GetEncoder().GetPosition();
  StepMs(1);
  EXPECT_NEAR(motor.GetEncoder().GetPosition(), rotorRotations, 1e-3 * rotorRotations);
  EXPECT_LT(statusBefore, rotorRotations - 1.0);
  EXPECT_LT(sim.GetOutputCurrent(), 10.0);                  // near free speed, little current
  EXPECT_EQ(sim.GetMechanism()->GetState().velocity, 0.0);  // the built-in shaft stood still
  EXPECT_FALSE(sim.SetRotorState(std::nan(""), 0.0));
}

// Another simulated device on the same HAL: its receive callback runs after
// ours on the same buffers, and ours leaves ids it holds nothing for alone.
constexpr uint32_t kOtherDeviceId = 0x0A0B0C0Du;
// NOLINTNEXTLINE(readability-non-const-parameter): the HAL's callback type
void OtherDevice(const char* /*name*/, void* /*param*/, uint32_t* messageId,
                 uint32_t /*messageIdMask*/, uint8_t* data, uint8_t* dataSize, uint32_t* timeStamp,
                 int32_t* status) {
  if (*messageId != kOtherDeviceId) return;
  data[0] = 0x5A;
  *dataSize = 1;
  *timeStamp = 7;
  *status = 0;
}

TEST(Sim2026, OtherSimulatedDevicesKeepTheirIds) {
  PauseAtZero();
  SimController sim(kDevice);
  HALSIM_RegisterCanReceiveMessageCallback(&OtherDevice, nullptr);
  StepMs(20);  // status frames of ours sent, readable after their instant
  StepMs(1);
  const auto receive = [](uint32_t id, uint8_t* size) {
    std::array<uint8_t, 8> data{};
    uint32_t stampMs = 0;
    int32_t status = 0;
    HAL_CAN_ReceiveMessage(&id, 0x1FFFFFFF, data.data(), size, &stampMs, &status);
    return std::make_pair(status, data[0]);
  };
  uint8_t size = 0;
  const auto other = receive(kOtherDeviceId, &size);
  EXPECT_EQ(other.first, 0);
  EXPECT_EQ(other.second, 0x5A);
  EXPECT_EQ(size, 1);
  const auto ours = receive(zem::wire::ComposeId(kDevice, zem::wire::api::kStatus0), &size);
  EXPECT_EQ(ours.first, 0);
  EXPECT_EQ(size, 8);
  // Read once, as from a queue: the next read finds nothing new until the next frame.
  EXPECT_NE(receive(zem::wire::ComposeId(kDevice, zem::wire::api::kStatus0), &size).first, 0);
}

std::string RunScenario() {
  std::string out;
  FILE* pipe = popen(TAVRIX_SCENARIO_COMMAND " 2>/dev/null", "r");
  if (pipe == nullptr) return out;
  std::array<char, 4096> buffer{};
  size_t got = 0;
  while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
    out.append(buffer.data(), got);
  EXPECT_EQ(pclose(pipe), 0);
  return out;
}

// Threads due at one instant run in parallel under WPILib's stepping; the
// states still come out the same, run after run.
TEST(Sim2026, SteppedRunsGiveTheSameStatesBitForBit) {
  const std::string first = RunScenario();
  ASSERT_GT(first.size(), 1000u);
  EXPECT_NE(first.find("2000000 "), std::string::npos);  // ran its 2 s
  for (int run = 0; run < 4; ++run) EXPECT_EQ(RunScenario(), first) << "run " << run + 2;
}

}  // namespace
