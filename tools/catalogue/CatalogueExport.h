// What the tools outside C++ take from the protocol catalogue
// (include/tavrix/Wire.h, include/tavrix/ProtocolCatalog.h): the Wireshark
// dissector's tables, and a synthetic capture that reaches every API id. Pure
// functions of the catalogue; they allocate the text they return.
#pragma once

#include <iosfwd>
#include <string>

namespace tavrix::catalogue {

// The dissector's generated block, marker lines included.
std::string LuaTables();
// The first and last line of that block in tools/wireshark/tavrix.lua.
extern const char* const kLuaBegin;
extern const char* const kLuaEnd;

// text2pcap input, one SocketCAN record a line, for `text2pcap -l 227`: every
// API id of the controller twice (the second time on the same id, so requests
// meet replies and commands their echoes) with lengths 0 to 8 and patterned
// bytes, the status period commands, a firmware request and reply, an empty
// heartbeat, and frames that are not ours.
std::string CaptureRecords();

// tavrix-catalogue --lua | --check <dissector> | --write <dissector> | --capture
int RunCatalogueTool(int argc, char** argv, std::ostream& out, std::ostream& err);

}  // namespace tavrix::catalogue
