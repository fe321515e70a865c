#pragma once

#include "modbus/conversation.h"
#include "log/packet_log_model.h"

#include <algorithm>
#include <utility>

namespace tessaly {

// The rows of the packet log that views show, as the Modbus decoder reads
// them. The log's empty first row (before any packet) is not a packet.
class LogPackets : public modbus::PacketSequence {
 public:
  explicit LogPackets(const PacketLogModel& log) : log_(log) {}

  int Size() const override { return log_.PacketCount() == 0 ? 0 : log_.rowCount(); }
  modbus::LoggedPacket At(int index) const override {
    const PacketStore::Packet packet = log_.PacketAt(index);
    modbus::LoggedPacket logged{packet.bytes, packet.count, packet.time, packet.firstByte, packet.lastByte};
    // With the master's side named, the line tells requests from answers.
    if (const int master = log_.MasterLine(); master >= 0) {
      logged.side = packet.line == master ? modbus::Direction::Request : modbus::Direction::Response;
    }
    return logged;
  }

 private:
  const PacketLogModel& log_;
};

// The first rows of a snapshot of the log, as the Modbus decoder reads them,
// for reading on another thread.
class SnapshotPackets : public modbus::PacketSequence {
 public:
  SnapshotPackets(PacketStore::Snapshot snapshot, int size)
      : snapshot_(std::move(snapshot)), size_(std::min(size, snapshot_.Size())) {}

  int Size() const override { return size_; }
  modbus::LoggedPacket At(int index) const override {
    const PacketStore::Packet packet = snapshot_.At(index);
    return {packet.bytes, packet.count, packet.time, packet.firstByte, packet.lastByte};
  }

 private:
  const PacketStore::Snapshot snapshot_;
  const int size_;
};

}  // namespace tessaly
