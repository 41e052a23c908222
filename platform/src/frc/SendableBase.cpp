// Dashboard name and subsystem of Sendable objects; a PWM channel's name is recorded.
#include "frc/smartdashboard/SendableBase.h"

#include <mutex>
#include <string>

#include "PwmChannels.h"
#include "common/PlatformInternal.h"

namespace frc {

SendableBase::SendableBase(bool /*addLiveWindow*/) {}

SendableBase::SendableBase(SendableBase&& rhs) noexcept : Sendable(std::move(rhs)) {
  // The base has no state of its own; name and subsystem are still rhs's.
  std::lock_guard<wpi::mutex> lock(rhs.m_mutex);  // NOLINT(bugprone-use-after-move)
  m_name = std::move(rhs.m_name);
  m_subsystem = std::move(rhs.m_subsystem);
}

SendableBase& SendableBase::operator=(SendableBase&& rhs) noexcept {
  if (this == &rhs) return *this;
  std::scoped_lock lock(m_mutex, rhs.m_mutex);
  m_name = std::move(rhs.m_name);
  m_subsystem = std::move(rhs.m_subsystem);
  Sendable::operator=(std::move(rhs));  // last: nothing of rhs is read after it
  return *this;
}

std::string SendableBase::GetName() const {
  std::lock_guard<wpi::mutex> lock(m_mutex);
  return m_name;
}

void SendableBase::SetName(const wpi::Twine& name) {
  std::string text = name.str();
  {
    std::lock_guard<wpi::mutex> lock(m_mutex);
    m_name = text;
  }
  int channel = 0;
  if (detail::FindPwmChannel(this, &channel)) {
    halsim::internal::RecordPwmCall(channel, "SetName(" + text + ")",
                                    [&](halsim::PwmState& state) { state.name = text; });
  }
}

std::string SendableBase::GetSubsystem() const {
  std::lock_guard<wpi::mutex> lock(m_mutex);
  return m_subsystem;
}

void SendableBase::SetSubsystem(const wpi::Twine& subsystem) {
  std::lock_guard<wpi::mutex> lock(m_mutex);
  m_subsystem = subsystem.str();
}

void SendableBase::SetName(const wpi::Twine& moduleType, int channel) {
  SetName(moduleType + wpi::Twine('[') + wpi::Twine(channel) + wpi::Twine(']'));
}

void SendableBase::SetName(const wpi::Twine& moduleType, int moduleNumber, int channel) {
  SetName(moduleType + wpi::Twine('[') + wpi::Twine(moduleNumber) + wpi::Twine(',') +
          wpi::Twine(channel) + wpi::Twine(']'));
}

}  // namespace frc
