#pragma once

#include "capture/modbus/row_filter.h"

#include <QAbstractTableModel>

#include <vector>

namespace tessaly {

class PacketLogModel;

// The rows of the packet log that a filter lets through, with the log's own
// columns and texts. It only keeps the numbers of those rows (4 bytes each,
// none while no filter is set), finds them in one pass over the stored
// packets, and takes new packets as they arrive; the log itself is never
// changed.
class LogFilterModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit LogFilterModel(const PacketLogModel& log, QObject* parent = nullptr);

  void SetFilter(modbus::RowFilter filter);
  const modbus::RowFilter& Filter() const { return filter_; }

  // The log's row shown in row, and the row showing a log row (-1 if hidden).
  int SourceRow(int row) const {
    return filter_.Active() ? rows_[static_cast<std::size_t>(row)] : row;
  }
  int RowOf(int sourceRow) const;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

 private:
  void Rebuild();
  void TakeNewRows();

  const PacketLogModel& log_;
  modbus::RowFilter filter_;
  std::vector<int> rows_;  // with a filter set: the log rows shown
  int scanned_ = 0;        // log rows looked at so far
};

}  // namespace tessaly
