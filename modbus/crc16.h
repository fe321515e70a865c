#pragma once

#include <cstddef>
#include <cstdint>

namespace tessaly::modbus {

// The Modbus RTU check: CRC-16 with the reflected polynomial 0xA001 and start
// value 0xFFFF, sent low byte first. Eight bytes a step through eight tables
// (4 KB), at memory speed: a flood checks every packet it logs.
std::uint16_t Crc16(const std::uint8_t* bytes, std::size_t count);

// Continues a CRC over more bytes (start with kCrcStart).
inline constexpr std::uint16_t kCrcStart = 0xFFFF;
std::uint16_t Crc16Update(std::uint16_t crc, const std::uint8_t* bytes, std::size_t count);

// The same, one table lookup per byte: the cheaper way over a byte or two,
// as when every intermediate CRC is wanted.
std::uint16_t Crc16UpdateBytewise(std::uint16_t crc, const std::uint8_t* bytes, std::size_t count);

// The CRC a frame carries in its last two bytes (count >= 2).
inline std::uint16_t SentCrc(const std::uint8_t* bytes, std::size_t count) {
  return static_cast<std::uint16_t>(bytes[count - 2] | (bytes[count - 1] << 8));
}

}  // namespace tessaly::modbus
