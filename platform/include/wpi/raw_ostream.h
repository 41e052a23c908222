// Output streams of the utility library: raw_ostream and raw_svector_ostream, which
// appends to a SmallString/SmallVector<char>. Integers are written in decimal.
#pragma once

#include <cstddef>
#include <string>

#include "wpi/SmallVector.h"
#include "wpi/StringRef.h"

namespace wpi {

class raw_ostream {
 public:
  raw_ostream() = default;
  raw_ostream(const raw_ostream&) = delete;
  raw_ostream& operator=(const raw_ostream&) = delete;
  virtual ~raw_ostream();

  raw_ostream& write(const char* data, size_t size) {
    if (size != 0) write_impl(data, size);
    return *this;
  }
  raw_ostream& write(unsigned char c) {
    const char ch = static_cast<char>(c);
    return write(&ch, 1);
  }
  void flush() {}

  raw_ostream& operator<<(StringRef str) { return write(str.data(), str.size()); }
  raw_ostream& operator<<(const char* str) { return *this << StringRef(str); }
  raw_ostream& operator<<(const std::string& str) { return write(str.data(), str.size()); }
  raw_ostream& operator<<(const SmallVectorImpl<char>& str) {
    return write(str.data(), str.size());
  }
  raw_ostream& operator<<(char c) { return write(&c, 1); }
  raw_ostream& operator<<(unsigned char c) { return write(c); }
  raw_ostream& operator<<(signed char c) { return write(static_cast<unsigned char>(c)); }
  raw_ostream& operator<<(int value) { return writeSigned(value); }
  raw_ostream& operator<<(long value) { return writeSigned(value); }
  raw_ostream& operator<<(long long value) { return writeSigned(value); }
  raw_ostream& operator<<(unsigned value) { return writeUnsigned(value); }
  raw_ostream& operator<<(unsigned long value) { return writeUnsigned(value); }
  raw_ostream& operator<<(unsigned long long value) { return writeUnsigned(value); }

 protected:
  virtual void write_impl(const char* data, size_t size) = 0;

 private:
  raw_ostream& writeSigned(long long value);
  raw_ostream& writeUnsigned(unsigned long long value);
};

// Appends everything written to a character vector (usually a SmallString).
class raw_svector_ostream : public raw_ostream {
 public:
  explicit raw_svector_ostream(SmallVectorImpl<char>& out) : m_out(out) {}
  ~raw_svector_ostream() override;

  StringRef str() const { return StringRef(m_out.data(), m_out.size()); }

 private:
  void write_impl(const char* data, size_t size) override;

  SmallVectorImpl<char>& m_out;
};

// Standard error as a raw_ostream.
raw_ostream& errs();

}  // namespace wpi
