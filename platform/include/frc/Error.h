// One recorded error of the robot library: code, message and where it was set.
#pragma once

#include <stdint.h>

#include <string>

#include "wpi/StringRef.h"
#include "wpi/Twine.h"

namespace frc {

class ErrorBase;

class Error {
 public:
  using Code = int32_t;

  Error() = default;
  Error(Code code, const wpi::Twine& contextMessage, wpi::StringRef filename,
        wpi::StringRef function, int lineNumber, const ErrorBase* originatingObject);

  bool operator<(const Error& rhs) const { return m_code < rhs.m_code; }

  Code GetCode() const { return m_code; }
  std::string GetMessage() const { return m_message; }
  std::string GetFilename() const { return m_filename; }
  std::string GetFunction() const { return m_function; }
  int GetLineNumber() const { return m_lineNumber; }
  const ErrorBase* GetOriginatingObject() const { return m_originatingObject; }
  double GetTimestamp() const { return m_timestamp; }

  void Clear();
  void Set(Code code, const wpi::Twine& contextMessage, wpi::StringRef filename,
           wpi::StringRef function, int lineNumber, const ErrorBase* originatingObject);

 private:
  Code m_code = 0;
  std::string m_message;
  std::string m_filename;
  std::string m_function;
  int m_lineNumber = 0;
  const ErrorBase* m_originatingObject = nullptr;
  double m_timestamp = 0.0;
};

}  // namespace frc
