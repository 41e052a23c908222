// tavrix-catalogue: prints what the tools outside C++ take from the protocol
// catalogue, and keeps the Wireshark dissector's generated block in step.
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "CatalogueExport.h"

namespace tavrix::catalogue {
namespace {

bool ReadFile(const std::string& path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream content;
  content << in.rdbuf();
  text = content.str();
  return true;
}

// The text with its generated block replaced by LuaTables(); false when the
// file has no complete block.
bool WithFreshBlock(const std::string& text, std::string& fresh) {
  const size_t begin = text.find(kLuaBegin);
  const size_t endMarker = text.find(kLuaEnd, begin == std::string::npos ? 0 : begin);
  if (begin == std::string::npos || endMarker == std::string::npos) return false;
  const size_t end = text.find('\n', endMarker);
  fresh = text.substr(0, begin) + LuaTables() +
          (end == std::string::npos ? std::string() : text.substr(end + 1));
  return true;
}

int CheckOrWrite(const std::string& path, bool write, std::ostream& out, std::ostream& err) {
  std::string text;
  std::string fresh;
  if (!ReadFile(path, text) || !WithFreshBlock(text, fresh)) {
    err << "tavrix-catalogue: " << path << ": no readable generated block\n";
    return 2;
  }
  if (fresh == text) {
    out << path << ": the generated block matches the catalogue\n";
    return 0;
  }
  if (!write) {
    err << path << ": the generated block differs from the catalogue; run "
        << "tavrix-catalogue --write " << path << "\n";
    return 1;
  }
  std::ofstream(path, std::ios::binary) << fresh;
  out << path << ": generated block rewritten\n";
  return 0;
}

}  // namespace

int RunCatalogueTool(int argc, char** argv, std::ostream& out, std::ostream& err) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (argc == 2 && mode == "--lua") {
    out << LuaTables();
    return 0;
  }
  if (argc == 2 && mode == "--capture") {
    out << CaptureRecords();
    return 0;
  }
  if (argc == 3 && (mode == "--check" || mode == "--write")) {
    return CheckOrWrite(argv[2], mode == "--write", out, err);
  }
  err << "usage: tavrix-catalogue --lua | --capture | --check <tavrix.lua> | --write "
         "<tavrix.lua>\n";
  return 2;
}

}  // namespace tavrix::catalogue

int main(int argc, char** argv) {
  return tavrix::catalogue::RunCatalogueTool(argc, argv, std::cout, std::cerr);
}
