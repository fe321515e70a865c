#include "modbus/frame_check.h"

#include "modbus/crc16.h"

namespace tessaly::modbus {

// A frame followed by its own CRC, low byte first, leaves a CRC of zero: so a
// good frame is one whose CRC over all its bytes is zero, and a frame ends
// wherever the running CRC from its start returns to zero.

FrameKind CheckFrame(const std::uint8_t* bytes, int count) {
  if (count < kMinFrameSize) return FrameKind::TooShort;
  if (Crc16(bytes, static_cast<std::size_t>(count)) == 0) return FrameKind::Good;
  return SplitFrames(bytes, count).size() > 1 ? FrameKind::Merged : FrameKind::BadCrc;
}

std::vector<int> SplitFrames(const std::uint8_t* bytes, int count) {
  if (count < kMinFrameSize) return {};
  // from[end] is the start of a good frame ending at end whose own start is
  // reachable from the packet's start through good frames; -1 if none.
  // Positions where a frame can start are rare (a zero CRC is a 1 in 65536
  // chance at random), so this is a single pass in practice.
  std::vector<int> from(static_cast<std::size_t>(count) + 1, -1);
  for (int start = 0; start + kMinFrameSize <= count; ++start) {
    if (start > 0 && from[static_cast<std::size_t>(start)] < 0) continue;
    std::uint16_t crc = kCrcStart;
    for (int end = start + 1; end <= count; ++end) {
      crc = Crc16UpdateBytewise(crc, bytes + end - 1, 1);
      if (crc == 0 && end - start >= kMinFrameSize && from[static_cast<std::size_t>(end)] < 0) {
        from[static_cast<std::size_t>(end)] = start;
      }
    }
  }
  if (from[static_cast<std::size_t>(count)] < 0) return {};
  std::vector<int> sizes;
  for (int end = count; end > 0; end = from[static_cast<std::size_t>(end)]) {
    sizes.insert(sizes.begin(), end - from[static_cast<std::size_t>(end)]);
  }
  return sizes;
}

const char* FrameKindName(FrameKind kind) {
  switch (kind) {
    case FrameKind::Good:
      return "Good frame";
    case FrameKind::BadCrc:
      return "Bad CRC";
    case FrameKind::TooShort:
      return "Too short for a frame";
    case FrameKind::Merged:
      return "Frames merged";
  }
  return "";
}

}  // namespace tessaly::modbus
