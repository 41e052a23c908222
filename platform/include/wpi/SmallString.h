// Character buffer with an inline-size hint, as the utility library builds text.
#pragma once

#include <string>

#include "wpi/SmallVector.h"
#include "wpi/StringRef.h"

namespace wpi {

template <unsigned N>
class SmallString : public SmallVector<char, N> {
 public:
  SmallString() = default;
  SmallString(StringRef text) { append(text); }  // NOLINT: implicit like the original

  void append(StringRef text) { SmallVectorImpl<char>::append(text.begin(), text.end()); }
  void assign(StringRef text) {
    this->clear();
    append(text);
  }

  StringRef str() const { return StringRef(this->data(), this->size()); }
  operator StringRef() const { return str(); }  // NOLINT: implicit like the original

  // Terminates the buffer without counting the terminator in size().
  const char* c_str() {
    this->push_back('\0');
    this->pop_back();
    return this->data();
  }
};

}  // namespace wpi
