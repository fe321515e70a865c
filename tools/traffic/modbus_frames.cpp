#include "tools/traffic/modbus_frames.h"

#include <algorithm>
#include <cstring>

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

Frame ExceptionResponse(std::uint8_t slave, std::uint8_t function, std::uint8_t code) {
  return WithCrc({slave, static_cast<std::uint8_t>(function | 0x80), code});
}

std::optional<Frame> PlannedFrame(const PollPlan& plan, std::uint32_t index) {
  constexpr std::uint16_t kRegisters = 10;
  // Slots of one cycle: the slave's request and answer, then two slots for
  // each further unit.
  const std::uint32_t slots = 2 + (plan.absent ? 2 : 0) + (plan.refusing ? 2 : 0);
  const std::uint32_t cycle = index / slots;
  std::uint32_t slot = index % slots;
  if (slot == 0) return ReadRequest(plan.slave, 0, kRegisters);
  if (slot == 1) {
    std::vector<std::uint16_t> values(kRegisters);
    for (std::uint16_t i = 0; i < kRegisters; ++i) values[i] = static_cast<std::uint16_t>(cycle * 100 + i);
    if (plan.floats) {
      const float value = 230.0F + 0.5F * static_cast<float>(cycle % 10);
      std::uint32_t bits = 0;
      std::memcpy(&bits, &value, sizeof bits);
      values[0] = static_cast<std::uint16_t>(bits >> 16);
      values[1] = static_cast<std::uint16_t>(bits & 0xFFFF);
    }
    return ReadResponse(plan.slave, values);
  }
  slot -= 2;
  if (plan.absent) {
    if (slot == 0) return ReadRequest(*plan.absent, 0, kRegisters);
    if (slot == 1) return std::nullopt;
    slot -= 2;
  }
  if (slot == 0) return ReadRequest(*plan.refusing, 0, kRegisters);
  return ExceptionResponse(*plan.refusing, 3, 2);
}

}  // namespace tessaly::traffic
