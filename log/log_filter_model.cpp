#include "log/log_filter_model.h"

#include "log/filter_scan.h"
#include "log/log_packets.h"
#include "log/packet_log_model.h"

#include <algorithm>

namespace tessaly {

LogFilterModel::LogFilterModel(const PacketLogModel& log, QObject* parent)
    : QAbstractTableModel(parent), log_(log) {
  connect(&log, &PacketLogModel::packetAppended, this, &LogFilterModel::TakeNewRows);
  connect(&log, &QAbstractItemModel::modelReset, this, &LogFilterModel::Rebuild);
  connect(&log, &QAbstractItemModel::rowsRemoved, this, &LogFilterModel::Rebuild);
  connect(&log, &QAbstractItemModel::headerDataChanged, this, &QAbstractItemModel::headerDataChanged);
  // The window's log goes before the window's panes, which may still lay
  // themselves out as they close: from then on the model has no rows and
  // asks the log nothing. Nothing is announced, as whoever heard would ask
  // the log.
  connect(&log, &QObject::destroyed, this, [this] {
    scan_.reset();
    logGone_ = true;
    filter_ = {};
    rows_.clear();
    scanned_ = 0;
  });
  Rebuild();
}

LogFilterModel::~LogFilterModel() = default;

void LogFilterModel::SetFilter(modbus::RowFilter filter) {
  filter_ = std::move(filter);
  Rebuild();
}

void LogFilterModel::StopScan() {
  if (scan_ == nullptr) return;
  SetFilter({});
}

int LogFilterModel::RowOf(int sourceRow) const {
  if (!filter_.Active()) return sourceRow < scanned_ ? sourceRow : -1;
  const auto found = std::lower_bound(rows_.begin(), rows_.end(), sourceRow);
  return found != rows_.end() && *found == sourceRow ? static_cast<int>(found - rows_.begin()) : -1;
}

void LogFilterModel::Rebuild() {
  if (logGone_) return;
  const bool wasScanning = scan_ != nullptr;
  scan_.reset();  // stops it; pieces on their way are dropped
  beginResetModel();
  rows_.clear();
  rows_.shrink_to_fit();
  scanned_ = filter_.Active() ? 0 : LogPackets(log_).Size();
  endResetModel();
  if (filter_.Active()) LookOn();
  if (wasScanning && scan_ == nullptr) emit scanEnded();
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
  // While a scan runs, new rows wait for it: they come after its rows.
  if (scan_ == nullptr) LookOn();
}

void LogFilterModel::LookOn() {
  const LogPackets packets(log_);
  const int end = packets.Size();
  if (end - scanned_ > kDirectRows) {
    scan_ = std::make_unique<FilterScan>(
        log_.TakeSnapshot(), filter_, scanned_, end, *this,
        [this](std::vector<int> found, int scannedTo) { TakePiece(std::move(found), scannedTo); },
        log_.Marks());
    scan_->Start();
    emit scanProgress(scanned_, end);
    return;
  }
  std::vector<int> found;
  for (; scanned_ < end; ++scanned_) {
    const modbus::RowVerdict verdict = filter_.Judge(packets, scanned_);
    if (verdict == modbus::RowVerdict::kNotYet) break;  // judged again as rows come
    if (verdict == modbus::RowVerdict::kShown) found.push_back(scanned_);
  }
  AddRows(found);
}

void LogFilterModel::AddRows(const std::vector<int>& found) {
  if (found.empty()) return;
  const int first = static_cast<int>(rows_.size());
  beginInsertRows({}, first, first + static_cast<int>(found.size()) - 1);
  rows_.insert(rows_.end(), found.begin(), found.end());
  endInsertRows();
}

void LogFilterModel::TakePiece(std::vector<int> found, int scannedTo) {
  scanned_ = scannedTo;
  AddRows(found);
  const int end = scan_->End();
  if (scannedTo < end && !scan_->StoppedEarly()) {
    emit scanProgress(scannedTo, end);
    return;
  }
  scan_.reset();
  // The rows that arrived while the scan ran.
  LookOn();
  if (scan_ == nullptr) emit scanEnded();
}

int LogFilterModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid()) return 0;
  return filter_.Active() ? static_cast<int>(rows_.size()) : scanned_;
}

int LogFilterModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : PacketLogModel::kColumnCount;
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
  return logGone_ ? QVariant() : log_.headerData(section, orientation, role);
}

}  // namespace tessaly
