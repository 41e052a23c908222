#include "SimFrames.h"

#include <algorithm>

#include "tavrix/Wire.h"

namespace tavrix::sim::detail {

OutFrame MakeFrame(uint32_t id, const uint8_t* data, int length) {
  OutFrame f;
  f.id = id;
  f.data = zem::wire::PadPayload(data, length);
  f.length = static_cast<uint8_t>(std::clamp(length, 0, zem::wire::kPayloadLength));
  return f;
}

}  // namespace tavrix::sim::detail
