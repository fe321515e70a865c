#include "log/packet_log_model.h"

#include "log/packet_text.h"

#include <QBrush>
#include <QGuiApplication>
#include <QPalette>

#include <algorithm>
#include <new>
#include <utility>

namespace tessaly {

PacketLogModel::PacketLogModel(QObject* parent)
    : QAbstractTableModel(parent), reserve_(new (std::nothrow) char[kMemoryReserve]) {
  batchTimer_.setSingleShot(true);
  batchTimer_.setInterval(kBatchInterval);
  connect(&batchTimer_, &QTimer::timeout, this, &PacketLogModel::AnnouncePackets);
  pageReleaseTimer_.setInterval(kPageReleaseInterval);
  connect(&pageReleaseTimer_, &QTimer::timeout, this, [this] {
    store_.ReleasePages();
    if (--releaseCallsLeft_ <= 0) pageReleaseTimer_.stop();
  });
}

void PacketLogModel::KeepReleasingPages() const {
  releaseCallsLeft_ = 2 * store_.ReleaseCallsPerSweep();
  // Started anew on every batch it would never fire.
  if (releaseCallsLeft_ > 0 && !pageReleaseTimer_.isActive()) pageReleaseTimer_.start();
}

PacketStore::Snapshot PacketLogModel::TakeSnapshot() const {
  // Whatever takes one reads the rows, bringing their pages in.
  KeepReleasingPages();
  return store_.TakeSnapshot();
}

void PacketLogModel::SetBackingDirectory(const QString& folder) {
  store_.SetBackingDirectory(folder.toStdString());
  backingReported_ = false;
  KeepReleasingPages();
}

void PacketLogModel::SetHeaders(const QString& time, const QString& data) {
  timeHeader_ = time;
  dataHeader_ = data;
  emit headerDataChanged(Qt::Horizontal, kTimeColumn, kDataColumn);
}

void PacketLogModel::SetBatching(int fromRows, int intervalMilliseconds) {
  batchFromRows_ = fromRows;
  batchTimer_.setInterval(std::max(intervalMilliseconds, 0));
}

void PacketLogModel::AppendPacket(const std::uint8_t* bytes, int count, PacketTime endedAt) {
  Append([&] { store_.Append(endedAt, bytes, count); });
}

void PacketLogModel::AppendPacket(const std::uint8_t* bytes, int count, const PacketTiming& timing) {
  Append([&] { store_.Append(timing.ended, bytes, count, timing.firstByte, timing.lastByte); });
}

void PacketLogModel::AppendLinePacket(int line, const std::uint8_t* bytes, int count, const PacketTiming& timing) {
  Append([&] { store_.Append(timing.ended, bytes, count, timing.firstByte, timing.lastByte, line); });
}

void PacketLogModel::AppendCapturedPacket(const std::uint8_t* bytes, int count, PacketTime endedAt,
                                          std::optional<PacketTime> firstByte, std::optional<PacketTime> lastByte,
                                          int line) {
  Append([&] { store_.Append(endedAt, bytes, count, firstByte, lastByte, line); });
}

void PacketLogModel::SetLineNames(QStringList names) {
  if (names == lineNames_) return;
  lineNames_ = std::move(names);
  emit lineNamesChanged();
  // The shade of every row may change.
  if (announced_ > 0) emit dataChanged(index(0, kTimeColumn), index(announced_ - 1, kDataColumn));
}

QString PacketLogModel::LineNameAt(int row) const {
  if (!ShowsLines() || row < 0 || row >= store_.Size() || MarkAt(row) != nullptr) return {};
  const int line = store_.At(row).line;
  // A line beyond the names given is still told apart from the others.
  return line < lineNames_.size() ? lineNames_[line] : QString::number(line + 1);
}

template <class Store>
void PacketLogModel::Append(Store&& store) {
  if (exhausted_) return;
  try {
    store();
  } catch (const std::bad_alloc& error) {
    exhausted_ = true;
    exhaustionCause_ = dynamic_cast<const BackingSpaceExhausted*>(&error) != nullptr
                           ? QString::fromStdString(error.what())
                           : QString();
    reserve_.reset();
    AnnouncePackets();
    emit memoryExhausted(store_.Size());
    return;
  }
  if (!backingReported_ && !store_.BackingProblem().empty()) {
    backingReported_ = true;
    emit backingUnavailable(QString::fromStdString(store_.BackingProblem()));
  }
  if (ShouldHoldBack()) {
    if (!batchTimer_.isActive()) batchTimer_.start();
    return;
  }
  AnnouncePackets();
}

void PacketLogModel::Clear() {
  beginResetModel();
  batchTimer_.stop();
  store_.Clear();
  marks_.clear();
  announced_ = 0;
  exhausted_ = false;
  exhaustionCause_.clear();
  if (reserve_ == nullptr) reserve_.reset(new (std::nothrow) char[kMemoryReserve]);
  sinceAnnouncement_.invalidate();
  endResetModel();
}

bool PacketLogModel::ShouldHoldBack() const {
  if (batchTimer_.isActive()) return true;  // a batch is already collecting
  return announced_ >= batchFromRows_ && sinceAnnouncement_.isValid() &&
         sinceAnnouncement_.elapsed() < batchTimer_.interval();
}

void PacketLogModel::AppendMark(const QString& text, PacketTime at) {
  const int row = store_.Size();
  // Known before the row is announced, so that whatever looks at the new
  // row sees a note.
  marks_[row] = text;
  AppendPacket(nullptr, 0, at);
  if (store_.Size() == row) {
    marks_.erase(row);  // refused: memory has run out
    return;
  }
  AnnouncePackets();
}

const QString* PacketLogModel::MarkAt(int row) const {
  if (marks_.empty()) return nullptr;
  const auto mark = marks_.find(row);
  return mark == marks_.end() ? nullptr : &mark->second;
}

void PacketLogModel::AnnouncePackets() {
  batchTimer_.stop();
  const int packets = store_.Size();
  if (packets == announced_) return;
  KeepReleasingPages();
  // The first packet fills the empty row the log starts with; every later one
  // is a new row.
  if (announced_ == 0) {
    announced_ = 1;
    emit dataChanged(index(0, kTimeColumn), index(0, kDataColumn));
  }
  if (packets > announced_) {
    beginInsertRows({}, announced_, packets - 1);
    announced_ = packets;
    endInsertRows();
  }
  sinceAnnouncement_.start();
  emit packetAppended(packets - 1);
}

int PacketLogModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid()) return 0;
  return std::max(announced_, 1);
}

int PacketLogModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumnCount;
}

QVariant PacketLogModel::LineShade(int row) const {
  // Only rows of the second and later lines are shaded: with one line, and
  // on the first line, rows look as they always did.
  if (!ShowsLines() || MarkAt(row) != nullptr) return {};
  const int line = store_.At(row).line;
  if (line == 0) return {};
  const QPalette palette = QGuiApplication::palette();
  const QColor base = palette.color(QPalette::Base);
  const QColor accent = palette.color(QPalette::Highlight);
  // A light wash of the theme's highlight: the text on it keeps its contrast
  // in light and dark themes alike.
  const double share = line % 2 == 1 ? 0.14 : 0.24;
  return QBrush(QColor::fromRgbF(static_cast<float>(base.redF() * (1 - share) + accent.redF() * share),
                                 static_cast<float>(base.greenF() * (1 - share) + accent.greenF() * share),
                                 static_cast<float>(base.blueF() * (1 - share) + accent.blueF() * share)));
}

QVariant PacketLogModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= announced_) return {};
  if (const QString* mark = MarkAt(index.row()); mark != nullptr && index.column() == kDataColumn) {
    return role == Qt::DisplayRole || role == Qt::ToolTipRole ? QVariant(*mark) : QVariant();
  }
  if (role == Qt::ToolTipRole && index.column() == kDataColumn) {
    const PacketStore::Packet packet = store_.At(index.row());
    return FormatPacketBytesWrapped(packet.bytes, packet.count, kToolTipBytesPerLine);
  }
  if (role == Qt::BackgroundRole) return LineShade(index.row());
  if (role != Qt::DisplayRole) return {};
  const PacketStore::Packet packet = store_.At(index.row());
  switch (index.column()) {
    case kTimeColumn:
      if (timeColumn_ != TimeColumn::kTimeOfDay) {
        const std::optional<PacketTime> previous =
            index.row() > 0 ? std::optional(store_.At(index.row() - 1).time) : std::nullopt;
        return FormatTimeOffset(timeColumn_, packet.time, previous, store_.At(0).time);
      }
      return FormatTimeStamp(LocalMillisecondsOfDay(packet.time));
    case kDataColumn:
      return FormatPacketBytes(packet.bytes, packet.count);
    default:
      return {};
  }
}

void PacketLogModel::SetTimeColumn(TimeColumn column) {
  timeColumn_ = column;
  if (announced_ > 0) emit dataChanged(index(0, kTimeColumn), index(announced_ - 1, kTimeColumn));
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
