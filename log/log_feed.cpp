#include "log/log_feed.h"

#include "log/log_packets.h"
#include "log/packet_log_model.h"

namespace tessaly {

LogFeed::LogFeed(const PacketLogModel& log, Take take, Restart restart, QObject* parent)
    : QObject(parent), log_(log), take_(std::move(take)), restart_(std::move(restart)) {
  connect(&log, &PacketLogModel::packetAppended, this, [this] {
    if (active_) CatchUp();
  });
  connect(&log, &QAbstractItemModel::modelReset, this, &LogFeed::StartAgain);
  connect(&log, &QAbstractItemModel::rowsRemoved, this, &LogFeed::StartAgain);
}

void LogFeed::SetActive(bool active) {
  active_ = active;
  if (active_) CatchUp();
}

void LogFeed::StartAgain() {
  restart_();
  taken_ = 0;
  if (active_) CatchUp();
  emit fed();
}

void LogFeed::CatchUp() {
  const LogPackets packets(log_);
  if (packets.Size() < taken_) {
    StartAgain();
    return;
  }
  if (packets.Size() == taken_) return;
  if (before_) before_();
  for (; taken_ < packets.Size(); ++taken_) take_(packets.At(taken_));
  emit fed();
}

}  // namespace tessaly
