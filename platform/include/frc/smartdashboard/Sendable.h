// Interface of an object that has a dashboard name and subsystem.
#pragma once

#include <string>

#include "wpi/Twine.h"

namespace frc {

class SendableBuilder;

class Sendable {
 public:
  Sendable() = default;
  virtual ~Sendable() = default;
  Sendable(Sendable&&) = default;
  Sendable& operator=(Sendable&&) = default;

  virtual std::string GetName() const = 0;
  virtual void SetName(const wpi::Twine& name) = 0;
  void SetName(const wpi::Twine& subsystem, const wpi::Twine& name) {
    SetSubsystem(subsystem);
    SetName(name);
  }
  virtual std::string GetSubsystem() const = 0;
  virtual void SetSubsystem(const wpi::Twine& subsystem) = 0;
  virtual void InitSendable(SendableBuilder& builder) = 0;
};

}  // namespace frc
