#pragma once

#include "modbus/conversation.h"
#include "log/log_marks.h"
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
    logged.note = log_.MarkAt(index) != nullptr;
    return logged;
  }

 private:
  const PacketLogModel& log_;
};

// The first rows of a snapshot of the log, as the Modbus decoder reads them,
// for reading on another thread; the notes among them (a copy of the log's,
// which may change meanwhile) are told apart from packets.
class SnapshotPackets : public modbus::PacketSequence {
 public:
  SnapshotPackets(PacketStore::Snapshot snapshot, int size, LogMarks marks = {})
      : snapshot_(std::move(snapshot)), size_(std::min(size, snapshot_.Size())), marks_(std::move(marks)) {}

  int Size() const override { return size_; }
  modbus::LoggedPacket At(int index) const override {
    const PacketStore::Packet packet = snapshot_.At(index);
    modbus::LoggedPacket logged{packet.bytes, packet.count, packet.time, packet.firstByte, packet.lastByte};
    logged.note = !marks_.empty() && marks_.count(index) != 0;
    return logged;
  }

 private:
  const PacketStore::Snapshot snapshot_;
  const int size_;
  const LogMarks marks_;
};

}  // namespace tessaly
