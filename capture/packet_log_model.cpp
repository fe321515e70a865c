#include "capture/packet_log_model.h"

#include "capture/packet_text.h"

#include <QTime>

#include <algorithm>
#include <utility>

namespace tessaly {

namespace {

int LocalMillisecondsOfDay() { return QTime::currentTime().msecsSinceStartOfDay(); }

}  // namespace

PacketLogModel::PacketLogModel(QObject* parent)
    : QAbstractTableModel(parent), clock_(LocalMillisecondsOfDay) {}

void PacketLogModel::SetClock(Clock clock) {
  clock_ = clock ? std::move(clock) : Clock(LocalMillisecondsOfDay);
}

void PacketLogModel::SetHeaders(const QString& time, const QString& data) {
  timeHeader_ = time;
  dataHeader_ = data;
  emit headerDataChanged(Qt::Horizontal, kTimeColumn, kDataColumn);
}

void PacketLogModel::AppendPacket(const std::uint8_t* bytes, int count) {
  // Checked before any view hears of the row, so a refused packet leaves the
  // model and its views consistent.
  store_.CheckRoomFor(count);
  const int time = clock_();
  const int row = store_.Size();
  // The first packet fills the empty row the log starts with; every later one
  // is a new row.
  if (row == 0) {
    store_.Append(time, bytes, count);
    emit dataChanged(index(0, kTimeColumn), index(0, kDataColumn));
  } else {
    beginInsertRows({}, row, row);
    store_.Append(time, bytes, count);
    endInsertRows();
  }
  emit packetAppended(row);
}

int PacketLogModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid()) return 0;
  return std::max(store_.Size(), 1);
}

int PacketLogModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumnCount;
}

QVariant PacketLogModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid() || index.row() >= store_.Size()) return {};
  const PacketStore::Packet packet = store_.At(index.row());
  switch (index.column()) {
    case kTimeColumn:
      return FormatTimeStamp(packet.millisecondsOfDay);
    case kDataColumn:
      return FormatPacketBytes(packet.bytes, packet.count);
    default:
      return {};
  }
}

QVariant PacketLogModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
    return QAbstractTableModel::headerData(section, orientation, role);
  }
  switch (section) {
    case kTimeColumn:
      return timeHeader_;
    case kDataColumn:
      return dataHeader_;
    default:
      return {};
  }
}

}  // namespace tessaly
