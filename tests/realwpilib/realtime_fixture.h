// The fixture and helpers of the real-time suite, shared by its common tests
// (realtime_test.cpp) and those of one WPILib version (wpilib<version>/).
#pragma once

#include <chrono>

#include <gtest/gtest.h>

#include "responder.h"
#include "tavrix/CANTavrix.h"
#include "wall_clock.h"

namespace realwpilib_test {

namespace wire = zem::wire;
using std::chrono::milliseconds;
using Param = zem::CANTavrixLowLevel::ConfigParameter;
using Status = zem::CANTavrixLowLevel::ParameterStatus;
constexpr auto kMotor = zem::CANTavrixLowLevel::MotorType::kMotorKind1;
constexpr auto kBound = tavrix_test::WallBound(milliseconds(3000));
// Upper bounds of measured times, in ms.
constexpr double kLongMs = 1000.0 * tavrix_test::kWallTimeFactor;

class RealPlatformTest : public ::testing::Test {
 protected:
  realwpilib::Responder& bus = realwpilib::Responder::Install();
};

inline bool IsHeartbeat(const realwpilib::SentFrame& f) { return f.id == wire::kHeartbeatId; }
inline uint64_t Mask(const realwpilib::SentFrame& f) {
  return wire::DecodeHeartbeat(f.data.data(), 8);
}
inline float SetpointValue(const realwpilib::SentFrame& f) {
  return wire::DecodeSetpoint(f.data.data(), f.size).value;
}

inline double MsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

// Mean gap between consecutive frames, in ms.
inline double MeanGapMs(const realwpilib::Frames& frames) {
  if (frames.size() < 2) return 0.0;
  const std::chrono::duration<double, std::milli> span = frames.back().at - frames.front().at;
  return span.count() / static_cast<double>(frames.size() - 1);
}

}  // namespace realwpilib_test
