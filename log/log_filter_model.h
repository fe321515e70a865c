#pragma once

#include "modbus/row_filter.h"

#include <QAbstractTableModel>

#include <deque>
#include <memory>
#include <vector>

namespace tessaly {

class FilterScan;
class PacketLogModel;

// The rows of the packet log that a filter lets through, with the log's own
// columns and texts. It only keeps the numbers of those rows (4 bytes each,
// none while no filter is set), and takes new packets as they arrive; the
// log itself is never changed.
//
// A short log is looked through at once. A longer one is looked through on
// a thread (FilterScan): its rows join, in order, as each piece is done,
// packets that arrive meanwhile are looked at after the rows before them,
// and the scan can be stopped.
class LogFilterModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  // Up to this many rows not yet looked at are looked at on the window's
  // thread (a few milliseconds at most).
  static constexpr int kDirectRows = 10'000;

  explicit LogFilterModel(const PacketLogModel& log, QObject* parent = nullptr);
  ~LogFilterModel() override;

  void SetFilter(modbus::RowFilter filter);
  const modbus::RowFilter& Filter() const { return filter_; }

  // Whether rows are still being looked at on a thread; how many have been.
  bool Scanning() const { return scan_ != nullptr; }
  int RowsLookedAt() const { return scanned_; }
  // Stops looking and drops the filter: every row is shown again.
  void StopScan();

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

 signals:
  // A piece of a scan is done (rows looked at so far, of total), or the
  // scan has ended (finished or stopped).
  void scanProgress(int lookedAt, int total);
  void scanEnded();

 private:
  void Rebuild();
  void TakeNewRows();
  // Looks at the rows not looked at yet: a few at once, more on a thread.
  void LookOn();
  void AddRows(const std::vector<int>& found);
  void TakePiece(std::vector<int> found, int scannedTo);

  const PacketLogModel& log_;
  bool logGone_ = false;  // the log was destroyed before this model
  modbus::RowFilter filter_;
  // With a filter set: the log rows shown. In pieces, not one block: a
  // block of tens of millions of rows, grown, would be copied whole on the
  // window's thread.
  std::deque<int> rows_;
  int scanned_ = 0;        // log rows looked at so far
  std::unique_ptr<FilterScan> scan_;
};

}  // namespace tessaly
