#pragma once

#include "capture/packet_framer.h"
#include "capture/packet_store.h"

#include <QAbstractTableModel>
#include <QString>

#include <functional>

namespace tessaly {

// The packet log: one row per packet, column 0 the local time at which it was
// logged, column 1 its bytes in hex. The log starts with one empty row, which
// the first packet fills; every later packet becomes a new last row. Nothing
// is ever removed.
//
// Only the time and the bytes are kept (see PacketStore); the cell texts are
// made when a view asks for them, so a log of hours of traffic stays small.
class PacketLogModel : public QAbstractTableModel, public PacketSink {
  Q_OBJECT

 public:
  enum Column { kTimeColumn = 0, kDataColumn = 1, kColumnCount = 2 };

  // Milliseconds since local midnight.
  using Clock = std::function<int()>;

  explicit PacketLogModel(QObject* parent = nullptr);

  // Replaces the local clock, e.g. with a fixed time.
  void SetClock(Clock clock);

  // The column headers; empty until set.
  void SetHeaders(const QString& time, const QString& data);

  // Stamps the packet with the clock's time and writes it as the next row.
  void AppendPacket(const std::uint8_t* bytes, int count) override;

  int PacketCount() const { return store_.Size(); }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

 signals:
  // A packet was written into row (the log's last row).
  void packetAppended(int row);

 private:
  PacketStore store_;
  Clock clock_;
  QString timeHeader_;
  QString dataHeader_;
};

}  // namespace tessaly
