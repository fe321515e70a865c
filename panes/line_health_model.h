#pragma once

#include "modbus/line_statistics.h"

#include <QAbstractTableModel>

#include <cstdint>
#include <vector>

namespace tessaly {

// The line statistics as a table: one row per unit and function, in order
// of unit, then function, and, once the line carried any, a last row of its
// own for the bad frames (a garbled frame names no unit to trust). Refresh
// brings the rows up to date; rows keep their place (and the user's choice)
// unless a new unit or function came.
class LineHealthModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column {
    kUnit,
    kFunction,
    kRequests,
    kAnswers,
    kNoAnswer,
    kExceptions,
    kBadFrames,
    kTurnaroundMin,
    kTurnaroundAverage,
    kTurnaroundP95,
    kTurnaroundMax,
    kPollPeriod,
    kLastSeen,
    kColumnCount
  };

  explicit LineHealthModel(const modbus::LineStatistics& statistics, QObject* parent = nullptr);

  void Refresh();
  // The unit and function shown in row; kBadFramesKey for the bad frames' row.
  std::uint16_t KeyAt(int row) const { return keys_[static_cast<std::size_t>(row)]; }
  // No unit and function makes it: a function code is 7 bits.
  static constexpr std::uint16_t kBadFramesKey = 0xFFFF;

  // "Bus load: 12.5 %   Bad frames: 1 of 12 (8.3 %)   Packets per second: 18.3".
  QString SummaryText() const;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

 private:
  QString Text(const modbus::UnitFunctionHealth& health, int column) const;
  QString BadFramesText(int column) const;

  const modbus::LineStatistics& statistics_;
  std::vector<std::uint16_t> keys_;
};

}  // namespace tessaly
