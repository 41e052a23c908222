// tavrix-decode: prints a candump log or pcap trace decoded by the frame catalogue.
#include <iostream>

#include "tavrix/decode/DecodeTool.h"

int main(int argc, char** argv) {
  return tavrix::decode::RunDecodeTool(argc, argv, std::cout, std::cerr);
}
