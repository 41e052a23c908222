// Non-owning view of a character range, as the utility library passes text around.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>

namespace wpi {

class StringRef {
 public:
  using iterator = const char*;
  using const_iterator = const char*;
  using size_type = size_t;

  constexpr StringRef() noexcept = default;
  // A null C string is taken as empty rather than crashing in strlen.
  StringRef(const char* str) noexcept  // NOLINT: implicit like the original
      : m_data(str), m_length(str ? std::strlen(str) : 0) {}
  constexpr StringRef(const char* data, size_t length) noexcept : m_data(data), m_length(length) {}
  StringRef(const std::string& str) noexcept  // NOLINT: implicit like the original
      : m_data(str.data()), m_length(str.size()) {}

  const char* data() const noexcept { return m_data; }
  size_t size() const noexcept { return m_length; }
  bool empty() const noexcept { return m_length == 0; }
  const char* begin() const noexcept { return m_data; }
  const char* end() const noexcept { return m_data + m_length; }
  char operator[](size_t index) const noexcept { return m_data[index]; }

  std::string str() const { return m_length == 0 ? std::string() : std::string(m_data, m_length); }
  operator std::string() const { return str(); }  // NOLINT: implicit like the original

  bool equals(StringRef other) const noexcept {
    return m_length == other.m_length &&
           (m_length == 0 || std::memcmp(m_data, other.m_data, m_length) == 0);
  }

 private:
  const char* m_data = nullptr;
  size_t m_length = 0;
};

inline bool operator==(StringRef lhs, StringRef rhs) noexcept { return lhs.equals(rhs); }
inline bool operator!=(StringRef lhs, StringRef rhs) noexcept { return !lhs.equals(rhs); }

}  // namespace wpi
