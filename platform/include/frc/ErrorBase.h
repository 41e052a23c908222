// Base of robot-library objects that keep their last error (result-code style; the
// stand-in never throws and never reports these errors to the driver station).
#pragma once

#include <stdint.h>

#include "frc/Error.h"
#include "wpi/StringRef.h"
#include "wpi/Twine.h"

#define wpi_setErrnoErrorWithContext(context) \
  this->SetErrnoError((context), __FILE__, __FUNCTION__, __LINE__)
#define wpi_setErrnoError() wpi_setErrnoErrorWithContext("")
#define wpi_setErrorWithContext(code, context) \
  this->SetError((code), (context), __FILE__, __FUNCTION__, __LINE__)
#define wpi_setError(code) wpi_setErrorWithContext(code, "")
#define wpi_setErrorWithContextRange(code, min, max, req, context) \
  this->SetErrorRange((code), (min), (max), (req), (context), __FILE__, __FUNCTION__, __LINE__)

namespace frc {

class ErrorBase {
 public:
  ErrorBase() = default;
  virtual ~ErrorBase() = default;
  ErrorBase(ErrorBase&&) = default;
  ErrorBase& operator=(ErrorBase&&) = default;

  virtual Error& GetError();
  virtual const Error& GetError() const;
  virtual void ClearError() const;
  virtual void SetErrnoError(const wpi::Twine& contextMessage, wpi::StringRef filename,
                             wpi::StringRef function, int lineNumber) const;
  virtual void SetImaqError(int success, const wpi::Twine& contextMessage, wpi::StringRef filename,
                            wpi::StringRef function, int lineNumber) const;
  // Records code (with the HAL's text for it) unless code is 0.
  virtual void SetError(Error::Code code, const wpi::Twine& contextMessage, wpi::StringRef filename,
                        wpi::StringRef function, int lineNumber) const;
  virtual void SetErrorRange(Error::Code code, int32_t minRange, int32_t maxRange,
                             int32_t requestedValue, const wpi::Twine& contextMessage,
                             wpi::StringRef filename, wpi::StringRef function,
                             int lineNumber) const;
  virtual void SetWPIError(const wpi::Twine& errorMessage, Error::Code code,
                           const wpi::Twine& contextMessage, wpi::StringRef filename,
                           wpi::StringRef function, int lineNumber) const;
  virtual void CloneError(const ErrorBase& rhs) const;
  virtual bool StatusIsFatal() const;

 protected:
  mutable Error m_error;
};

}  // namespace frc
