#include "panes/line_health_model.h"

#include "core/local_time_text.h"
#include "modbus/function_names.h"

namespace tessaly {
namespace {

QString Milliseconds(double microseconds) { return QString::number(microseconds / 1000.0, 'f', 1); }

QString Percent(double share) { return QString::number(share * 100.0, 'f', 1) + QStringLiteral(" %"); }

const char* const kHeaders[] = {"Unit", "Function", "Requests", "Answers",
                                "No answer", "Exceptions", "Bad frames", "Turnaround min (ms)",
                                "Average (ms)", "95 % (ms)", "Max (ms)", "Poll period (ms)",
                                "Last seen"};
static_assert(std::size(kHeaders) == LineHealthModel::kColumnCount);

}  // namespace

LineHealthModel::LineHealthModel(const modbus::LineStatistics& statistics, QObject* parent)
    : QAbstractTableModel(parent), statistics_(statistics) {
  Refresh();
}

void LineHealthModel::Refresh() {
  std::vector<std::uint16_t> keys;
  keys.reserve(statistics_.Units().size());
  for (const auto& [key, health] : statistics_.Units()) keys.push_back(key);
  if (statistics_.Summary().badPackets > 0) keys.push_back(kBadFramesKey);
  if (keys != keys_) {
    beginResetModel();
    keys_ = std::move(keys);
    endResetModel();
    return;
  }
  if (!keys_.empty()) emit dataChanged(index(0, 0), index(rowCount() - 1, kColumnCount - 1));
}

QString LineHealthModel::SummaryText() const {
  const modbus::LineSummary& line = statistics_.Summary();
  const auto load = line.BusLoad();
  const auto rate = line.PacketsPerSecond();
  return QStringLiteral("Bus load: %1   Bad frames: %2 of %3 (%4)   Packets per second: %5")
      .arg(load ? Percent(*load) : QStringLiteral("unknown"))
      .arg(line.badPackets)
      .arg(line.packets)
      .arg(Percent(line.BadFrameRate()))
      .arg(rate ? QString::number(*rate, 'f', 1) : QStringLiteral("unknown"));
}

int LineHealthModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(keys_.size());
}

int LineHealthModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumnCount;
}

QString LineHealthModel::Text(const modbus::UnitFunctionHealth& health, int column) const {
  const bool timed = health.turnaround.Count() > 0;
  switch (column) {
    case kUnit:
      return QString::number(health.unit);
    case kFunction: {
      const char* name = modbus::FunctionName(health.function);
      return name ? QStringLiteral("%1 %2").arg(health.function).arg(QLatin1String(name))
                  : QString::number(health.function);
    }
    case kRequests:
      return QString::number(health.requests);
    case kAnswers:
      return QString::number(health.answers);
    case kNoAnswer:
      return QString::number(health.noAnswer);
    case kExceptions: {
      // "3 (code 2: 2, code 4: 1)".
      QString text = QString::number(health.ExceptionCount());
      QStringList codes;
      for (const auto& [code, count] : health.exceptions) {
        codes << QStringLiteral("code %1: %2").arg(code).arg(count);
      }
      if (!codes.isEmpty()) text += QStringLiteral(" (") + codes.join(QStringLiteral(", ")) + u')';
      return text;
    }
    case kBadFrames:
      return QStringLiteral("0");
    case kTurnaroundMin:
      return timed ? Milliseconds(static_cast<double>(health.turnaround.Min())) : QString();
    case kTurnaroundAverage:
      return timed ? Milliseconds(health.turnaround.Average()) : QString();
    case kTurnaroundP95:
      return timed ? Milliseconds(static_cast<double>(health.turnaround.Percentile95())) : QString();
    case kTurnaroundMax:
      return timed ? Milliseconds(static_cast<double>(health.turnaround.Max())) : QString();
    case kPollPeriod: {
      const auto period = health.PollPeriod();
      return period ? Milliseconds(*period) : QString();
    }
    case kLastSeen: {
      char text[16];
      return QString::fromLatin1(text, static_cast<int>(WriteTimeOfDay(health.lastSeen, text) - text));
    }
    default:
      return {};
  }
}

QString LineHealthModel::BadFramesText(int column) const {
  const modbus::LineSummary& line = statistics_.Summary();
  switch (column) {
    case kUnit:
      return QStringLiteral("any");
    case kFunction:
      return QStringLiteral("Bad frames (no unit to trust)");
    case kBadFrames:
      return QString::number(line.badPackets);
    case kLastSeen: {
      char text[16];
      return QString::fromLatin1(text, static_cast<int>(WriteTimeOfDay(line.lastBadAt, text) - text));
    }
    default:
      return {};
  }
}

QVariant LineHealthModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  if (KeyAt(index.row()) == kBadFramesKey) {
    if (role == Qt::DisplayRole) return BadFramesText(index.column());
    if (role == Qt::TextAlignmentRole && index.column() != kFunction) {
      return QVariant(Qt::AlignRight | Qt::AlignVCenter);
    }
    if (role == Qt::ToolTipRole && index.column() == kBadFrames) {
      return QStringLiteral("Click to list these rows in the filter pane");
    }
    return {};
  }
  const modbus::UnitFunctionHealth* health =
      statistics_.Find(static_cast<std::uint8_t>(KeyAt(index.row()) >> 8),
                       static_cast<std::uint8_t>(KeyAt(index.row()) & 0xFF));
  if (health == nullptr) return {};
  if (role == Qt::DisplayRole) return Text(*health, index.column());
  if (role == Qt::TextAlignmentRole && index.column() != kFunction && index.column() != kExceptions) {
    return QVariant(Qt::AlignRight | Qt::AlignVCenter);
  }
  if (role == Qt::ToolTipRole && index.column() >= kRequests && index.column() < kBadFrames) {
    return QStringLiteral("Click to list these rows in the filter pane");
  }
  return {};
}

QVariant LineHealthModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
      section >= kColumnCount) {
    return {};
  }
  return QString::fromLatin1(kHeaders[section]);
}

}  // namespace tessaly
