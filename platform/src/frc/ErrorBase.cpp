// Error records of robot-library objects. Setting an error only stores it.
#include "frc/ErrorBase.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "hal/HALBase.h"

namespace frc {

namespace {

constexpr double kMicrosPerSecond = 1e6;

double NowSeconds() {
  int32_t status = 0;
  return static_cast<double>(HAL_GetFPGATime(&status)) / kMicrosPerSecond;
}

// strerror's text without strerror's shared buffer. The C library gives either
// the GNU strerror_r (returns the text) or the POSIX one (fills the buffer,
// returns 0); one of these two overloads takes its result.
[[maybe_unused]] const char* StrerrorText(const char* text, const char* /*buffer*/) { return text; }
[[maybe_unused]] const char* StrerrorText(int result, const char* buffer) {
  return result == 0 ? buffer : "Unknown error";
}

std::string ErrnoText(int code) {
  char buffer[256] = {};
  return StrerrorText(strerror_r(code, buffer, sizeof buffer), buffer);
}

}  // namespace

Error::Error(Code code, const wpi::Twine& contextMessage, wpi::StringRef filename,
             wpi::StringRef function, int lineNumber, const ErrorBase* originatingObject) {
  Set(code, contextMessage, filename, function, lineNumber, originatingObject);
}

void Error::Clear() { *this = Error(); }

void Error::Set(Code code, const wpi::Twine& contextMessage, wpi::StringRef filename,
                wpi::StringRef function, int lineNumber, const ErrorBase* originatingObject) {
  m_code = code;
  m_message = contextMessage.str();
  m_filename = filename.str();
  m_function = function.str();
  m_lineNumber = lineNumber;
  m_originatingObject = originatingObject;
  m_timestamp = NowSeconds();
}

Error& ErrorBase::GetError() { return m_error; }
const Error& ErrorBase::GetError() const { return m_error; }
void ErrorBase::ClearError() const { m_error.Clear(); }

void ErrorBase::SetErrnoError(const wpi::Twine& contextMessage, wpi::StringRef filename,
                              wpi::StringRef function, int lineNumber) const {
  const int code = errno;
  if (code == 0) return;
  m_error.Set(-code, contextMessage + ": " + ErrnoText(code), filename, function, lineNumber, this);
}

void ErrorBase::SetImaqError(int success, const wpi::Twine& contextMessage, wpi::StringRef filename,
                             wpi::StringRef function, int lineNumber) const {
  if (success > 0) return;
  m_error.Set(success, contextMessage, filename, function, lineNumber, this);
}

void ErrorBase::SetError(Error::Code code, const wpi::Twine& contextMessage,
                         wpi::StringRef filename, wpi::StringRef function, int lineNumber) const {
  if (code == 0) return;
  m_error.Set(code, wpi::Twine(HAL_GetErrorMessage(code)) + ": " + contextMessage, filename,
              function, lineNumber, this);
}

void ErrorBase::SetErrorRange(Error::Code code, int32_t minRange, int32_t maxRange,
                              int32_t requestedValue, const wpi::Twine& contextMessage,
                              wpi::StringRef filename, wpi::StringRef function,
                              int lineNumber) const {
  if (code == 0) return;
  m_error.Set(code,
              wpi::Twine(HAL_GetErrorMessage(code)) + ": " + contextMessage + ", Minimum Value: " +
                  wpi::Twine(minRange) + ", Maximum Value: " + wpi::Twine(maxRange) +
                  ", Requested Value: " + wpi::Twine(requestedValue),
              filename, function, lineNumber, this);
}

void ErrorBase::SetWPIError(const wpi::Twine& errorMessage, Error::Code code,
                            const wpi::Twine& contextMessage, wpi::StringRef filename,
                            wpi::StringRef function, int lineNumber) const {
  m_error.Set(code, errorMessage + ": " + contextMessage, filename, function, lineNumber, this);
}

void ErrorBase::CloneError(const ErrorBase& rhs) const { m_error = rhs.GetError(); }

bool ErrorBase::StatusIsFatal() const { return m_error.GetCode() < 0; }

}  // namespace frc
