#pragma once

#include "capture/modbus/conversation.h"
#include "capture/packet_log_model.h"

namespace tessaly {

// The rows of the packet log that views show, as the Modbus decoder reads
// them. The log's empty first row (before any packet) is not a packet.
class LogPackets : public modbus::PacketSequence {
 public:
  explicit LogPackets(const PacketLogModel& log) : log_(log) {}

  int Size() const override { return log_.PacketCount() == 0 ? 0 : log_.rowCount(); }
  modbus::LoggedPacket At(int index) const override {
    const PacketStore::Packet packet = log_.PacketAt(index);
    return {packet.bytes, packet.count, packet.time, packet.firstByte, packet.lastByte};
  }

 private:
  const PacketLogModel& log_;
};

}  // namespace tessaly
