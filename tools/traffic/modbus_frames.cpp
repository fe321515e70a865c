#include "tools/traffic/modbus_frames.h"

#include <algorithm>

namespace tessaly::traffic {

std::uint16_t ModbusCrc(const std::uint8_t* bytes, std::size_t count) {
  std::uint16_t crc = 0xFFFF;
  for (std::size_t i = 0; i < count; ++i) {
    crc ^= bytes[i];
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc & 1U) != 0 ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001U)
                             : static_cast<std::uint16_t>(crc >> 1);
    }
  }
  return crc;
}

Frame WithCrc(Frame body) {
  const std::uint16_t crc = ModbusCrc(body.data(), body.size());
  body.push_back(static_cast<std::uint8_t>(crc & 0xFF));
  body.push_back(static_cast<std::uint8_t>(crc >> 8));
  return body;
}

Frame ReadRequest(std::uint8_t slave, std::uint16_t firstRegister, std::uint16_t registerCount) {
  return WithCrc({slave, 0x03, static_cast<std::uint8_t>(firstRegister >> 8),
                  static_cast<std::uint8_t>(firstRegister & 0xFF),
                  static_cast<std::uint8_t>(registerCount >> 8),
                  static_cast<std::uint8_t>(registerCount & 0xFF)});
}

Frame ReadResponse(std::uint8_t slave, const std::vector<std::uint16_t>& registers) {
  Frame body{slave, 0x03, static_cast<std::uint8_t>(registers.size() * 2)};
  for (std::uint16_t value : registers) {
    body.push_back(static_cast<std::uint8_t>(value >> 8));
    body.push_back(static_cast<std::uint8_t>(value & 0xFF));
  }
  return WithCrc(std::move(body));
}

Frame SizedFrame(std::uint8_t slave, std::size_t totalSize, std::uint32_t sequence) {
  totalSize = std::max<std::size_t>(totalSize, 4);
  Frame body{slave, 0x03};
  for (std::size_t i = 2; i + 2 < totalSize; ++i) {
    body.push_back(static_cast<std::uint8_t>((sequence + i) & 0xFF));
  }
  return WithCrc(std::move(body));
}

Frame NthFrame(std::uint8_t slave, std::size_t frameSize, std::uint32_t index) {
  if (frameSize != 0) return SizedFrame(slave, frameSize, index);
  constexpr std::uint16_t kRegisters = 10;
  if (index % 2 == 0) return ReadRequest(slave, 0, kRegisters);
  std::vector<std::uint16_t> values(kRegisters);
  for (std::uint16_t i = 0; i < kRegisters; ++i) {
    values[i] = static_cast<std::uint16_t>(index * 100 + i);
  }
  return ReadResponse(slave, values);
}

}  // namespace tessaly::traffic
