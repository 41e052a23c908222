// Name and subsystem storage for Sendable objects. SetName(moduleType, channel) gives
// the name "Type[channel]".
#pragma once

#include <string>

#include "frc/smartdashboard/Sendable.h"
#include "wpi/Twine.h"
#include "wpi/mutex.h"

namespace frc {

class SendableBase : public Sendable {
 public:
  explicit SendableBase(bool addLiveWindow = true);
  ~SendableBase() override = default;
  SendableBase(SendableBase&& rhs) noexcept;
  SendableBase& operator=(SendableBase&& rhs) noexcept;

  using Sendable::SetName;

  std::string GetName() const final;
  void SetName(const wpi::Twine& name) final;
  std::string GetSubsystem() const final;
  void SetSubsystem(const wpi::Twine& subsystem) final;

 protected:
  void SetName(const wpi::Twine& moduleType, int channel);
  void SetName(const wpi::Twine& moduleType, int moduleNumber, int channel);

 private:
  mutable wpi::mutex m_mutex;
  std::string m_name;
  std::string m_subsystem = "Ungrouped";
};

}  // namespace frc
