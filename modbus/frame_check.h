#pragma once

#include <cstdint>
#include <vector>

namespace tessaly::modbus {

// What a logged packet is, judged by its CRC alone.
enum class FrameKind : std::uint8_t {
  Good,      // 4 bytes or more, ending in the CRC of the bytes before it
  BadCrc,    // long enough, but its last two bytes are not its CRC
  TooShort,  // fewer than 4 bytes: no room for unit, function and CRC
  Merged,    // two or more good frames with no silence between them
};

inline constexpr int kMinFrameSize = 4;

FrameKind CheckFrame(const std::uint8_t* bytes, int count);

// The sizes of the good frames a packet is made of, in order: one size for a
// good frame, several for a merged packet, none when the packet is not made
// of whole good frames only.
std::vector<int> SplitFrames(const std::uint8_t* bytes, int count);

// "Good frame", "Bad CRC", "Too short for a frame", "Frames merged".
const char* FrameKindName(FrameKind kind);

}  // namespace tessaly::modbus
