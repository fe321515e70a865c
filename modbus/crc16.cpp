#include "modbus/crc16.h"

#include <array>

namespace tessaly::modbus {
namespace {

using Table = std::array<std::uint16_t, 256>;

// kTables[0] is the CRC of each byte value alone; kTables[k] the same CRC
// carried on through k zero bytes. A byte that enters k bytes before the end
// of an eight-byte step adds kTables[k] of itself, so a step looks up each of
// its eight bytes once, independently, instead of waiting on the previous
// byte's result.
constexpr std::array<Table, 8> MakeTables() {
  std::array<Table, 8> tables{};
  for (unsigned byte = 0; byte < 256; ++byte) {
    unsigned crc = byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) != 0 ? (crc >> 1) ^ 0xA001 : crc >> 1;
    tables[0][byte] = static_cast<std::uint16_t>(crc);
  }
  for (std::size_t k = 1; k < tables.size(); ++k) {
    for (unsigned byte = 0; byte < 256; ++byte) {
      const unsigned previous = tables[k - 1][byte];
      tables[k][byte] = static_cast<std::uint16_t>((previous >> 8) ^ tables[0][previous & 0xFF]);
    }
  }
  return tables;
}

constexpr std::array<Table, 8> kTables = MakeTables();

}  // namespace

std::uint16_t Crc16UpdateBytewise(std::uint16_t crc, const std::uint8_t* bytes, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    crc = static_cast<std::uint16_t>((crc >> 8) ^ kTables[0][(crc ^ bytes[i]) & 0xFF]);
  }
  return crc;
}

std::uint16_t Crc16Update(std::uint16_t crc, const std::uint8_t* bytes, std::size_t count) {
  for (; count >= 8; bytes += 8, count -= 8) {
    // The CRC so far meets the step's first two bytes.
    const unsigned first = crc ^ (bytes[0] | (bytes[1] << 8));
    crc = static_cast<std::uint16_t>(kTables[7][first & 0xFF] ^ kTables[6][first >> 8] ^
                                     kTables[5][bytes[2]] ^ kTables[4][bytes[3]] ^
                                     kTables[3][bytes[4]] ^ kTables[2][bytes[5]] ^
                                     kTables[1][bytes[6]] ^ kTables[0][bytes[7]]);
  }
  return Crc16UpdateBytewise(crc, bytes, count);
}

std::uint16_t Crc16(const std::uint8_t* bytes, std::size_t count) {
  return Crc16Update(kCrcStart, bytes, count);
}

}  // namespace tessaly::modbus
