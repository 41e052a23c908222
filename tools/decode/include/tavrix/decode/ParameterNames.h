// Lookup of configuration parameters by id, for printing frames. A constant
// table: callable from any thread, no allocation, no waits.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tavrix::decode {

struct ParameterInfo {
  int32_t id;
  const char* name;  // the enumerator name, e.g. "kP_0"
  uint8_t type;      // zem::wire::type code of the library's write
};

// nullptr for an id the library does not use.
const ParameterInfo* FindParameter(int32_t id);

// The whole table, ascending by id.
const ParameterInfo* ParameterTable();
size_t ParameterCount();

// "kInt32", "kUint32", "kFloat32", "kBool", or nullptr for another code.
const char* ParameterTypeName(uint8_t type);

}  // namespace tavrix::decode
