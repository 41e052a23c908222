// Writes the Java sources that carry protocol facts (the configuration
// parameter list, the parameter type codes, the limit-switch fault bits) from
// their one definition in include/tavrix/, so the Java enumerations cannot
// disagree with the C++ ones. Usage: tavrix-java-catalog <template> <output>.
// In the template, a line holding only "@CONFIG_PARAMETERS@" becomes the
// ConfigParameter enumerators; every other @NAME@ below becomes its value.
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tavrix/ProtocolCatalog.h"
#include "tavrix/Wire.h"

namespace {

std::string ConfigParameterEnumerators() {
  std::ostringstream out;
#define TAVRIX_JAVA_ENUMERATOR(name, id, type, simDefault)                   \
  out << "    /** Parameter " << static_cast<int>(id) << ", " #type ". */\n" \
      << "    " #name "(" << static_cast<int>(id) << ", ParameterType." #type "),\n";
  TAVRIX_EACH_PARAMETER(TAVRIX_JAVA_ENUMERATOR)
#undef TAVRIX_JAVA_ENUMERATOR
  std::string text = out.str();
  // The last enumerator ends the constant list.
  text.replace(text.rfind(",\n"), 2, ";\n");
  return text;
}

const std::vector<std::pair<std::string, int>>& Tokens() {
  static const std::vector<std::pair<std::string, int>> tokens = {
      {"@TYPE_INT32@", zem::wire::type::kInt32},
      {"@TYPE_UINT32@", zem::wire::type::kUint32},
      {"@TYPE_FLOAT32@", zem::wire::type::kFloat32},
      {"@TYPE_BOOL@", zem::wire::type::kBool},
      {"@FORWARD_LIMIT_FAULT_BIT@", zem::wire::kForwardLimitFaultBit},
      {"@REVERSE_LIMIT_FAULT_BIT@", zem::wire::kReverseLimitFaultBit},
      {"@SLOT_COUNT@", zem::wire::kSlotCount},
      {"@MAX_DEVICE_NUMBER@", static_cast<int>(zem::wire::kDeviceMask)},
  };
  return tokens;
}

std::string Substitute(std::string line) {
  for (const auto& [token, value] : Tokens()) {
    for (size_t at = line.find(token); at != std::string::npos; at = line.find(token)) {
      line.replace(at, token.size(), std::to_string(value));
    }
  }
  return line;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: tavrix-java-catalog <template> <output>\n";
    return 2;
  }
  std::ifstream in(argv[1]);
  if (!in) {
    std::cerr << "tavrix-java-catalog: cannot read " << argv[1] << "\n";
    return 1;
  }
  std::ostringstream out;
  std::string line;
  while (std::getline(in, line)) {
    if (line.find("@CONFIG_PARAMETERS@") != std::string::npos) {
      out << ConfigParameterEnumerators();
    } else {
      out << Substitute(line) << "\n";
    }
  }
  std::ofstream result(argv[2]);
  result << out.str();
  return result ? 0 : 1;
}
