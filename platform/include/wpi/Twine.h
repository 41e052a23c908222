// Text argument of the utility library's interfaces. The stand-in's Twine owns its
// text (the original is a lazy, non-owning concatenation); callers see no difference
// as long as a Twine is used within the expression that built it, as intended.
#pragma once

#include <string>

#include "wpi/SmallVector.h"
#include "wpi/StringRef.h"

namespace wpi {

class Twine {
 public:
  Twine() = default;
  Twine(const char* str) : m_text(StringRef(str).str()) {}  // NOLINT: implicit like the original
  Twine(const std::string& str) : m_text(str) {}            // NOLINT: implicit like the original
  Twine(StringRef str) : m_text(str.str()) {}               // NOLINT: implicit like the original
  Twine(const SmallVectorImpl<char>& str)                   // NOLINT: implicit like the original
      : m_text(str.data(), str.size()) {}
  explicit Twine(char c) : m_text(1, c) {}
  explicit Twine(int value) : m_text(std::to_string(value)) {}
  explicit Twine(unsigned value) : m_text(std::to_string(value)) {}
  explicit Twine(long value) : m_text(std::to_string(value)) {}
  explicit Twine(unsigned long value) : m_text(std::to_string(value)) {}
  explicit Twine(long long value) : m_text(std::to_string(value)) {}
  explicit Twine(unsigned long long value) : m_text(std::to_string(value)) {}

  std::string str() const { return m_text; }
  Twine concat(const Twine& suffix) const { return Twine(m_text + suffix.m_text); }
  StringRef toStringRef(SmallVectorImpl<char>& out) const {
    toVector(out);
    return StringRef(out.data(), out.size());
  }
  void toVector(SmallVectorImpl<char>& out) const {
    out.clear();
    out.append(m_text.begin(), m_text.end());
  }
  bool isTriviallyEmpty() const { return m_text.empty(); }

 private:
  std::string m_text;
};

inline Twine operator+(const Twine& lhs, const Twine& rhs) { return lhs.concat(rhs); }
inline Twine operator+(const char* lhs, StringRef rhs) { return Twine(lhs).concat(Twine(rhs)); }
inline Twine operator+(StringRef lhs, const char* rhs) { return Twine(lhs).concat(Twine(rhs)); }

}  // namespace wpi
