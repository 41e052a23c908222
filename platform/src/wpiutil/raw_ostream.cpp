// Decimal integer formatting and the vector/stderr sinks of the utility library's streams.
#include "wpi/raw_ostream.h"

#include <cstdio>

namespace wpi {

namespace {

constexpr size_t kMaxDecimalDigits = 20;  // enough for 2^64 - 1

class StderrStream : public raw_ostream {
 private:
  void write_impl(const char* data, size_t size) override { std::fwrite(data, 1, size, stderr); }
};

}  // namespace

raw_ostream::~raw_ostream() = default;

raw_ostream& raw_ostream::writeUnsigned(unsigned long long value) {
  char digits[kMaxDecimalDigits];
  size_t start = kMaxDecimalDigits;
  do {
    digits[--start] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  return write(digits + start, kMaxDecimalDigits - start);
}

raw_ostream& raw_ostream::writeSigned(long long value) {
  if (value >= 0) return writeUnsigned(static_cast<unsigned long long>(value));
  *this << '-';
  // Negate in unsigned arithmetic so that the most negative value does not overflow.
  return writeUnsigned(0ULL - static_cast<unsigned long long>(value));
}

raw_svector_ostream::~raw_svector_ostream() = default;

void raw_svector_ostream::write_impl(const char* data, size_t size) {
  m_out.append(data, data + size);
}

raw_ostream& errs() {
  // Never destroyed, so that it can be used during static destruction.
  static raw_ostream* stream = new StderrStream;
  return *stream;
}

}  // namespace wpi
