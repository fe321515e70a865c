// The eight-bytes-a-step CRC gives what the byte-at-a-time one gives, for
// every frame length a packet can have and wherever a CRC is continued.
#include "modbus/crc16.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

namespace tessaly::modbus {
namespace {

TEST(Crc16, EightBytesAStep_SameAsByteAtATime_EveryLengthUpTo1024) {
  // A read request and its known CRC (C5 CD, low byte first).
  const std::uint8_t request[] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x0A};
  EXPECT_EQ(Crc16(request, sizeof request), 0xCDC5);

  std::mt19937 random(23);
  std::uniform_int_distribution<int> byte(0, 255);
  for (std::size_t length = 0; length <= 1024; ++length) {
    std::vector<std::uint8_t> frame(length);
    for (auto& b : frame) b = static_cast<std::uint8_t>(byte(random));
    const std::uint16_t expected = Crc16UpdateBytewise(kCrcStart, frame.data(), length);
    ASSERT_EQ(Crc16(frame.data(), length), expected) << "length " << length;
    // Continued from a cut anywhere, from any start value.
    const std::size_t cut = length == 0 ? 0 : random() % (length + 1);
    const std::uint16_t head = Crc16Update(kCrcStart, frame.data(), cut);
    ASSERT_EQ(Crc16Update(head, frame.data() + cut, length - cut), expected) << "cut at " << cut;
    const auto start = static_cast<std::uint16_t>(random());
    ASSERT_EQ(Crc16Update(start, frame.data(), length), Crc16UpdateBytewise(start, frame.data(), length));
    // A frame with its own CRC appended checks to zero.
    frame.push_back(static_cast<std::uint8_t>(expected & 0xFF));
    frame.push_back(static_cast<std::uint8_t>(expected >> 8));
    ASSERT_EQ(Crc16(frame.data(), frame.size()), 0) << "length " << length;
  }
}

}  // namespace
}  // namespace tessaly::modbus
