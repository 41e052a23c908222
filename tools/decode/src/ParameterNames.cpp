// The parameter name table, built from the one parameter list.
#include "tavrix/decode/ParameterNames.h"

#include <algorithm>
#include <array>

#include "tavrix/Wire.h"
#include "tavrix/decode/ParameterList.h"

namespace tavrix::decode {
namespace {

#define TAVRIX_PARAMETER_ENTRY(name, id, code) ParameterInfo{id, #name, zem::wire::type::code},
constexpr ParameterInfo kTable[] = {TAVRIX_CONFIG_PARAMETERS(TAVRIX_PARAMETER_ENTRY)};
#undef TAVRIX_PARAMETER_ENTRY

constexpr bool AscendingById() {
  for (size_t i = 1; i < std::size(kTable); ++i) {
    if (kTable[i - 1].id >= kTable[i].id) return false;
  }
  return true;
}
static_assert(AscendingById(), "the parameter list must ascend by id without duplicates");

}  // namespace

const ParameterInfo* FindParameter(int32_t id) {
  const ParameterInfo* end = kTable + std::size(kTable);
  const ParameterInfo* it = std::lower_bound(
      kTable, end, id, [](const ParameterInfo& info, int32_t key) { return info.id < key; });
  return it != end && it->id == id ? it : nullptr;
}

const ParameterInfo* ParameterTable() { return kTable; }
size_t ParameterCount() { return std::size(kTable); }

const char* ParameterTypeName(uint8_t type) {
  switch (type) {
    case zem::wire::type::kInt32: return "kInt32";
    case zem::wire::type::kUint32: return "kUint32";
    case zem::wire::type::kFloat32: return "kFloat32";
    case zem::wire::type::kBool: return "kBool";
    default: return nullptr;
  }
}

}  // namespace tavrix::decode
