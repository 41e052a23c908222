// The frames a simulated controller receives and sends, as its parts pass them around.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace tavrix::sim::detail {

struct OutFrame {
  uint32_t id = 0;
  std::array<uint8_t, 8> data{};
  uint8_t length = 0;
  uint64_t dueUs = 0;  // a reply held back by a reply delay: readable from then on (0: now)
};
using Outbox = std::vector<OutFrame>;

struct Frame {
  uint64_t timestampUs = 0;
  uint32_t messageId = 0;
  const uint8_t* data = nullptr;
  uint8_t length = 0;
};

// A frame of `length` bytes (clamped to 0..8), padded with zeros.
OutFrame MakeFrame(uint32_t id, const uint8_t* data, int length);

}  // namespace tavrix::sim::detail
