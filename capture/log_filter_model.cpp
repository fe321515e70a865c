#include "capture/log_filter_model.h"

#include "capture/log_packets.h"
#include "capture/packet_log_model.h"

#include <algorithm>

namespace tessaly {

LogFilterModel::LogFilterModel(const PacketLogModel& log, QObject* parent)
    : QAbstractTableModel(parent), log_(log) {
  connect(&log, &PacketLogModel::packetAppended, this, &LogFilterModel::TakeNewRows);
  connect(&log, &QAbstractItemModel::modelReset, this, &LogFilterModel::Rebuild);
  connect(&log, &QAbstractItemModel::rowsRemoved, this, &LogFilterModel::Rebuild);
  connect(&log, &QAbstractItemModel::headerDataChanged, this, &QAbstractItemModel::headerDataChanged);
  Rebuild();
}

void LogFilterModel::SetFilter(modbus::RowFilter filter) {
  filter_ = std::move(filter);
  Rebuild();
}

int LogFilterModel::RowOf(int sourceRow) const {
  if (!filter_.Active()) return sourceRow < scanned_ ? sourceRow : -1;
  const auto found = std::lower_bound(rows_.begin(), rows_.end(), sourceRow);
  return found != rows_.end() && *found == sourceRow ? static_cast<int>(found - rows_.begin()) : -1;
}

void LogFilterModel::Rebuild() {
  beginResetModel();
  rows_.clear();
  scanned_ = 0;
  const LogPackets packets(log_);
  if (!filter_.Active()) {
    rows_.shrink_to_fit();
    scanned_ = packets.Size();
    endResetModel();
    return;
  }
  rows_.reserve(static_cast<std::size_t>(packets.Size()));
  for (; scanned_ < packets.Size(); ++scanned_) {
    const modbus::RowVerdict verdict = filter_.Judge(packets, scanned_);
    if (verdict == modbus::RowVerdict::kNotYet) break;  // judged again as rows come
    if (verdict == modbus::RowVerdict::kShown) rows_.push_back(scanned_);
  }
  rows_.shrink_to_fit();
  endResetModel();
}

void LogFilterModel::TakeNewRows() {
  const LogPackets packets(log_);
  if (packets.Size() < scanned_) {
    Rebuild();
    return;
  }
  if (!filter_.Active()) {
    if (packets.Size() == scanned_) return;
    beginInsertRows({}, scanned_, packets.Size() - 1);
    scanned_ = packets.Size();
    endInsertRows();
    return;
  }
  std::vector<int> found;
  for (; scanned_ < packets.Size(); ++scanned_) {
    const modbus::RowVerdict verdict = filter_.Judge(packets, scanned_);
    if (verdict == modbus::RowVerdict::kNotYet) break;  // judged again as rows come
    if (verdict == modbus::RowVerdict::kShown) found.push_back(scanned_);
  }
  if (found.empty()) return;
  const int first = static_cast<int>(rows_.size());
  beginInsertRows({}, first, first + static_cast<int>(found.size()) - 1);
  rows_.insert(rows_.end(), found.begin(), found.end());
  endInsertRows();
}

int LogFilterModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid()) return 0;
  return filter_.Active() ? static_cast<int>(rows_.size()) : scanned_;
}

int LogFilterModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : log_.columnCount();
}

QVariant LogFilterModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  return log_.data(log_.index(SourceRow(index.row()), index.column()), role);
}

QVariant LogFilterModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Vertical && role == Qt::DisplayRole) {
    // Rows carry the log's row numbers, as the details pane names them.
    if (section >= 0 && section < rowCount()) return SourceRow(section) + 1;
    return {};
  }
  return log_.headerData(section, orientation, role);
}

}  // namespace tessaly
