#pragma once

#include "capture/modbus/conversation.h"
#include "capture/modbus/crc16.h"
#include "capture/modbus/row_filter.h"

#include <ostream>
#include <vector>

namespace tessaly::modbus {

inline void PrintTo(const DetailLine& line, std::ostream* out) {
  *out << '{' << line.label << ": " << line.value << '}';
}

}  // namespace tessaly::modbus

namespace tessaly::modbus::testing {

using Bytes = std::vector<std::uint8_t>;

inline Bytes Hex(const char* text) { return ParseHexSequence(text).value_or(Bytes{}); }

inline Bytes WithCrc(Bytes body) {
  const std::uint16_t crc = Crc16(body.data(), body.size());
  body.push_back(static_cast<std::uint8_t>(crc & 0xFF));
  body.push_back(static_cast<std::uint8_t>(crc >> 8));
  return body;
}

inline Bytes Frame(const char* body) { return WithCrc(Hex(body)); }

inline Bytes Joined(std::initializer_list<Bytes> parts) {
  Bytes joined;
  for (const Bytes& part : parts) joined.insert(joined.end(), part.begin(), part.end());
  return joined;
}

// A log held in memory: packets with the microsecond they ended.
class TestLog : public PacketSequence {
 public:
  void Add(Bytes bytes, std::int64_t endedAt) { packets_.push_back({std::move(bytes), endedAt}); }
  int Size() const override { return static_cast<int>(packets_.size()); }
  LoggedPacket At(int index) const override {
    const auto& packet = packets_.at(static_cast<std::size_t>(index));
    return {packet.first.data(), static_cast<int>(packet.first.size()), packet.second};
  }

 private:
  std::vector<std::pair<Bytes, std::int64_t>> packets_;
};

}  // namespace tessaly::modbus::testing
