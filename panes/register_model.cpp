#include "panes/register_model.h"

#include "core/local_time_text.h"

namespace tessaly {
namespace {

bool IsBitTable(modbus::Table table) {
  return table == modbus::Table::kCoils || table == modbus::Table::kDiscreteInputs;
}

const char* const kHeaders[] = {"Unit", "Table", "Address", "Type", "Value", "Last changed", "Changes"};
static_assert(std::size(kHeaders) == RegisterModel::kColumnCount);

QString ValueTextOf(const modbus::RegisterWatch& watch, modbus::RegisterKey key,
                    const modbus::RegisterTypes::Reading& reading) {
  const int words = modbus::WordsOf(reading.type);
  const auto values = watch.Words({key.unit, key.table, reading.valueStart}, words);
  if (!values) return {};
  return QString::fromStdString(modbus::FormatValue(reading.type, reading.order, values->data()));
}

}  // namespace

RegisterModel::RegisterModel(const modbus::RegisterWatch& watch, QObject* parent)
    : QAbstractTableModel(parent), watch_(watch) {
  Refresh();
}

void RegisterModel::Refresh() {
  std::vector<std::uint32_t> keys;
  keys.reserve(watch_.Registers().size());
  for (const auto& [key, state] : watch_.Registers()) keys.push_back(key);
  if (keys != keys_) {
    beginResetModel();
    keys_ = std::move(keys);
    endResetModel();
    return;
  }
  if (!keys_.empty()) emit dataChanged(index(0, 0), index(rowCount() - 1, kColumnCount - 1));
}

void RegisterModel::SetNotation(modbus::AddressNotation notation) {
  notation_ = notation;
  if (!keys_.empty()) emit dataChanged(index(0, kAddress), index(rowCount() - 1, kAddress));
}

void RegisterModel::SetTypes(std::map<std::uint8_t, modbus::RegisterTypes> types) {
  types_ = std::move(types);
  if (!keys_.empty()) emit dataChanged(index(0, 0), index(rowCount() - 1, kColumnCount - 1));
}

const modbus::RegisterTypes& RegisterModel::TypesOf(std::uint8_t unit) const {
  static const modbus::RegisterTypes kNone;
  const auto found = types_.find(unit);
  return found == types_.end() ? kNone : found->second;
}

modbus::RegisterTypes::Reading RegisterModel::ReadingAt(int row) const {
  const modbus::RegisterKey key = KeyAt(row);
  if (IsBitTable(key.table)) return {modbus::ValueType::kUnsigned16, modbus::WordOrder::kHighFirst, key.address};
  return TypesOf(key.unit).At(key.table, key.address);
}

QString RegisterModel::ValueText(int row) const {
  const modbus::RegisterKey key = KeyAt(row);
  const modbus::RegisterTypes::Reading reading = ReadingAt(row);
  // The later registers of a wide value point at its first.
  if (reading.valueStart != key.address) {
    return QStringLiteral("(part of %1)")
        .arg(QString::fromStdString(modbus::FormatAddress(key.table, reading.valueStart, notation_)));
  }
  return ValueTextOf(watch_, key, reading);
}

int RegisterModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(keys_.size());
}

int RegisterModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumnCount;
}

QVariant RegisterModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const modbus::RegisterKey key = KeyAt(index.row());
  const modbus::RegisterState* state = watch_.Find(key);
  if (state == nullptr) return {};
  if (role == Qt::TextAlignmentRole && index.column() != kTable && index.column() != kType) {
    return QVariant(Qt::AlignRight | Qt::AlignVCenter);
  }
  if (role != Qt::DisplayRole) return {};
  switch (index.column()) {
    case kUnit:
      return QString::number(key.unit);
    case kTable:
      return QString::fromLatin1(modbus::TableName(key.table));
    case kAddress:
      return QString::fromStdString(modbus::FormatAddress(key.table, key.address, notation_));
    case kType:
      return IsBitTable(key.table) ? QStringLiteral("Bit")
                                   : QString::fromLatin1(modbus::LongName(ReadingAt(index.row()).type)) +
                                         (modbus::WordsOf(ReadingAt(index.row()).type) > 1 &&
                                                  ReadingAt(index.row()).order == modbus::WordOrder::kLowFirst
                                              ? QStringLiteral(", low word first")
                                              : QString());
    case kValue:
      return ValueText(index.row());
    case kLastChanged: {
      char text[16];
      return QString::fromLatin1(text, static_cast<int>(WriteTimeOfDay(state->lastChanged, text) - text));
    }
    case kChanges:
      return QString::number(state->changes);
    default:
      return {};
  }
}

QVariant RegisterModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= kColumnCount) {
    return {};
  }
  return QString::fromLatin1(kHeaders[section]);
}

}  // namespace tessaly
