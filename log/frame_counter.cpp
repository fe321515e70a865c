#include "log/frame_counter.h"

#include "log/log_packets.h"
#include "modbus/frame_check.h"

namespace tessaly {

FrameCounter::FrameCounter(const PacketLogModel& log, QObject* parent)
    : QObject(parent), log_(log) {
  connect(&log, &PacketLogModel::packetAppended, this, &FrameCounter::CountNewRows);
  connect(&log, &QAbstractItemModel::modelReset, this, &FrameCounter::CountNewRows);
  connect(&log, &QAbstractItemModel::rowsRemoved, this, &FrameCounter::CountNewRows);
}

QString FrameCounter::Text() const {
  return QStringLiteral("Frames: %1 good, %2 bad").arg(good_).arg(bad_);
}

void FrameCounter::CountNewRows() {
  const LogPackets packets(log_);
  const int size = packets.Size();
  const bool cleared = size < counted_;
  if (cleared) counted_ = good_ = bad_ = 0;
  if (size == counted_ && !cleared) return;
  for (; counted_ < size; ++counted_) {
    if (log_.MarkAt(counted_) != nullptr) continue;  // a note, no frame
    const modbus::LoggedPacket packet = packets.At(counted_);
    if (modbus::CheckFrame(packet.bytes, packet.count) == modbus::FrameKind::Good) {
      ++good_;
    } else {
      ++bad_;
    }
  }
  emit countsChanged();
}

}  // namespace tessaly
