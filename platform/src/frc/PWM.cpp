// PWM channel of the stand-in: keeps and records what the channel is set to.
#include "frc/PWM.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>

#include "PwmChannels.h"
#include "common/PlatformInternal.h"
#include "frc/smartdashboard/SendableBuilder.h"
#include "hal/HALBase.h"

namespace frc {

namespace detail {

namespace {

struct ChannelRegistry {
  std::mutex mutex;
  std::map<const SendableBase*, int> channels;
};

ChannelRegistry& Registry() {
  static ChannelRegistry* registry = new ChannelRegistry;  // never destroyed
  return *registry;
}

}  // namespace

void RegisterPwmChannel(const SendableBase* object, int channel) {
  std::lock_guard<std::mutex> lock(Registry().mutex);
  Registry().channels[object] = channel;
}

void UnregisterPwmChannel(const SendableBase* object) {
  std::lock_guard<std::mutex> lock(Registry().mutex);
  Registry().channels.erase(object);
}

bool FindPwmChannel(const SendableBase* object, int* channel) {
  std::lock_guard<std::mutex> lock(Registry().mutex);
  auto found = Registry().channels.find(object);
  if (found == Registry().channels.end()) return false;
  *channel = found->second;
  return true;
}

}  // namespace detail

namespace {

constexpr size_t kNumberTextSize = 32;
constexpr int kShortestPrecision = 15;
constexpr int kLongestPrecision = 17;

// Shortest decimal text that reads back as the same double (2.003, not 2.00299...).
std::string FormatNumber(double value) {
  char text[kNumberTextSize];
  for (int precision = kShortestPrecision; precision <= kLongestPrecision; ++precision) {
    std::snprintf(text, sizeof(text), "%.*g", precision, value);
    if (std::strtod(text, nullptr) == value) break;
  }
  return text;
}

// Clamps to [low, high]; NaN gives 0 so that no undefined value reaches the output.
double Clamp(double value, double low, double high) {
  if (std::isnan(value)) return 0.0;
  return value < low ? low : (value > high ? high : value);
}

}  // namespace

PWM::PWM(int channel) : m_channel(channel) {
  HAL_Initialize(500, 0);  // as allocating a PWM port does on WPILib
  detail::RegisterPwmChannel(this, channel);
  halsim::internal::RecordPwmCall(channel, "PWM(" + std::to_string(channel) + ")",
                                  [](halsim::PwmState& state) {
                                    state = halsim::PwmState{};
                                    state.initialized = true;
                                  });
}

PWM::~PWM() {
  halsim::internal::RecordPwmCall(m_channel, "~PWM()", [](halsim::PwmState& state) {
    state.initialized = false;
    state.disabled = true;
  });
  detail::UnregisterPwmChannel(this);
}

void PWM::StopMotor() { SetDisabled(); }

void PWM::GetDescription(wpi::raw_ostream& desc) const { desc << "PWM " << GetChannel(); }

void PWM::SetSpeed(double speed) {
  const double clamped = Clamp(speed, -1.0, 1.0);
  m_speed = clamped;
  halsim::internal::RecordPwmCall(m_channel, "SetSpeed(" + FormatNumber(speed) + ")",
                                  [clamped](halsim::PwmState& state) {
                                    state.speed = clamped;
                                    state.disabled = false;
                                  });
  Feed();
}

double PWM::GetSpeed() const { return m_speed; }

// The stand-in keeps one output value: a position p in [0, 1] is the speed 2p - 1.
void PWM::SetPosition(double pos) {
  const double clamped = Clamp(pos, 0.0, 1.0);
  m_speed = clamped * 2.0 - 1.0;
  halsim::internal::RecordPwmCall(m_channel, "SetPosition(" + FormatNumber(pos) + ")",
                                  [clamped](halsim::PwmState& state) {
                                    state.speed = clamped * 2.0 - 1.0;
                                    state.disabled = false;
                                  });
}

double PWM::GetPosition() const { return (GetSpeed() + 1.0) / 2.0; }

void PWM::SetDisabled() {
  m_speed = 0.0;
  halsim::internal::RecordPwmCall(m_channel, "SetDisabled()", [](halsim::PwmState& state) {
    state.speed = 0.0;
    state.disabled = true;
  });
}

void PWM::SetPeriodMultiplier(PeriodMultiplier mult) {
  const int value = static_cast<int>(mult);
  halsim::internal::RecordPwmCall(
      m_channel, "SetPeriodMultiplier(" + std::to_string(value) + ")",
      [value](halsim::PwmState& state) { state.periodMultiplier = value; });
}

void PWM::SetZeroLatch() {
  halsim::internal::RecordPwmCall(m_channel, "SetZeroLatch()",
                                  [](halsim::PwmState& state) { state.zeroLatched = true; });
}

void PWM::EnableDeadbandElimination(bool eliminateDeadband) {
  halsim::internal::RecordPwmCall(
      m_channel, std::string("EnableDeadbandElimination(") + (eliminateDeadband ? "1" : "0") + ")",
      {});
}

void PWM::SetBounds(double max, double deadbandMax, double center, double deadbandMin, double min) {
  const std::string call = "SetBounds(" + FormatNumber(max) + ", " + FormatNumber(deadbandMax) +
                           ", " + FormatNumber(center) + ", " + FormatNumber(deadbandMin) + ", " +
                           FormatNumber(min) + ")";
  halsim::internal::RecordPwmCall(m_channel, call, [&](halsim::PwmState& state) {
    state.boundsMax = max;
    state.deadbandMax = deadbandMax;
    state.center = center;
    state.deadbandMin = deadbandMin;
    state.boundsMin = min;
  });
}

int PWM::GetChannel() const { return m_channel; }

void PWM::InitSendable(SendableBuilder& builder) {
  builder.SetSmartDashboardType("Speed Controller");
}

}  // namespace frc
