// The parameter name table, expanded from the protocol catalogue and sorted
// by id when compiled.
#include "tavrix/decode/ParameterNames.h"

#include <algorithm>
#include <array>

#include "tavrix/ProtocolCatalog.h"
#include "tavrix/Wire.h"

namespace tavrix::decode {
namespace {

#define TAVRIX_PARAMETER_ENTRY(name, id, code, simDefault) \
  ParameterInfo{id, #name, zem::wire::type::code},
constexpr ParameterInfo kListed[] = {TAVRIX_EACH_PARAMETER(TAVRIX_PARAMETER_ENTRY)};
#undef TAVRIX_PARAMETER_ENTRY

constexpr size_t kCount = std::size(kListed);
// A row lost or doubled while editing the catalogue changes the count.
static_assert(kCount == 73, "the catalogue lists 73 parameters");

// The catalogue lists per-slot parameters family by family; lookups want id order.
constexpr std::array<ParameterInfo, kCount> SortedById() {
  std::array<ParameterInfo, kCount> table{};
  for (size_t i = 0; i < kCount; ++i) {
    size_t j = i;
    for (; j > 0 && table[j - 1].id > kListed[i].id; --j) table[j] = table[j - 1];
    table[j] = kListed[i];
  }
  return table;
}
constexpr std::array<ParameterInfo, kCount> kTable = SortedById();

constexpr bool AscendingById() {
  for (size_t i = 1; i < kCount; ++i) {
    if (kTable[i - 1].id >= kTable[i].id) return false;
  }
  return true;
}
static_assert(AscendingById(), "every parameter id in the catalogue must be distinct");

}  // namespace

const ParameterInfo* FindParameter(int32_t id) {
  const ParameterInfo* end = kTable.data() + kTable.size();
  const ParameterInfo* it = std::lower_bound(
      kTable.data(), end, id, [](const ParameterInfo& info, int32_t key) { return info.id < key; });
  return it != end && it->id == id ? it : nullptr;
}

const ParameterInfo* ParameterTable() { return kTable.data(); }
size_t ParameterCount() { return kTable.size(); }

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
