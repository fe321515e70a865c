#pragma once

#include <cstdint>

namespace tessaly::modbus {

enum class Direction : std::uint8_t { Unknown, Request, Response };

// Which of its function's layouts a good frame fits, by its length and its
// count fields. A read request and a write echo can fit both; an exception
// fits only a response; an unknown function or a wrong length fits neither.
struct LayoutFit {
  bool request = false;
  bool response = false;
};
LayoutFit FitLayout(const std::uint8_t* bytes, int count);

// What the decoder keeps of a frame to judge the next one.
struct FrameSummary {
  bool good = false;
  std::uint8_t unit = 0;
  std::uint8_t function = 0;  // without the exception bit
  bool exception = false;
  Direction direction = Direction::Unknown;
  const std::uint8_t* bytes = nullptr;  // the packet summarised
  int count = 0;
};

// Summarises a packet, given the summary of the packet before it (null for
// none). The direction comes from the layout when only one fits; when both
// fit, the frame answers the one before if that was a request of the same
// unit and function (for a write that is echoed, with the same bytes; for
// diagnostics, the same sub-function), and is a request otherwise.
FrameSummary Summarize(const std::uint8_t* bytes, int count, const FrameSummary* previous);

// Whether the direction of a good frame depends on the frame before it.
bool DirectionNeedsContext(const std::uint8_t* bytes, int count);

// 16-bit big-endian field at offset.
inline std::uint16_t Word(const std::uint8_t* bytes, int offset) {
  return static_cast<std::uint16_t>((bytes[offset] << 8) | bytes[offset + 1]);
}

}  // namespace tessaly::modbus
