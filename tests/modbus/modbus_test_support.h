#pragma once

#include "modbus/conversation.h"
#include "modbus/crc16.h"
#include "modbus/row_filter.h"

#include <optional>
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

// A log held in memory: packets with the microsecond they ended, and when
// their first and last byte came where a test gives them.
class TestLog : public PacketSequence {
 public:
  void Add(Bytes bytes, std::int64_t endedAt, std::optional<std::int64_t> firstByteAt = {},
           std::optional<std::int64_t> lastByteAt = {}) {
    packets_.push_back({std::move(bytes), endedAt, firstByteAt, lastByteAt});
  }
  // A note of the capture (a link lost or back) at a moment: an empty row.
  void AddNote(std::int64_t at) { packets_.push_back({{}, at, {}, {}, true}); }
  int Size() const override { return static_cast<int>(packets_.size()); }
  LoggedPacket At(int index) const override {
    const Packet& packet = packets_.at(static_cast<std::size_t>(index));
    LoggedPacket logged{packet.bytes.data(), static_cast<int>(packet.bytes.size()), packet.endedAt,
                        packet.firstByteAt, packet.lastByteAt};
    logged.note = packet.note;
    return logged;
  }

 private:
  struct Packet {
    Bytes bytes;
    std::int64_t endedAt;
    std::optional<std::int64_t> firstByteAt;
    std::optional<std::int64_t> lastByteAt;
    bool note = false;
  };
  std::vector<Packet> packets_;
};

}  // namespace tessaly::modbus::testing
