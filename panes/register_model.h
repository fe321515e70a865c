#pragma once

#include "modbus/register_types.h"
#include "modbus/register_watch.h"

#include <QAbstractTableModel>

#include <cstdint>
#include <map>
#include <vector>

namespace tessaly {

// The register watch as a table: one row per register or bit, in order of
// unit, table and address, each read as its unit's types say and its
// address written in the chosen notation. Refresh brings the rows up to
// date; rows keep their place unless a new register came.
class RegisterModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { kUnit, kTable, kAddress, kType, kValue, kLastChanged, kChanges, kColumnCount };

  explicit RegisterModel(const modbus::RegisterWatch& watch, QObject* parent = nullptr);

  void Refresh();
  void SetNotation(modbus::AddressNotation notation);
  modbus::AddressNotation Notation() const { return notation_; }
  // The types of each unit (units not named read all as unsigned 16-bit).
  void SetTypes(std::map<std::uint8_t, modbus::RegisterTypes> types);
  const modbus::RegisterTypes& TypesOf(std::uint8_t unit) const;
  const std::map<std::uint8_t, modbus::RegisterTypes>& Types() const { return types_; }

  modbus::RegisterKey KeyAt(int row) const {
    return modbus::RegisterKey::Unpacked(keys_[static_cast<std::size_t>(row)]);
  }
  // How the register in row reads, and its value as text (empty while a
  // wider value is not known in full).
  modbus::RegisterTypes::Reading ReadingAt(int row) const;
  QString ValueText(int row) const;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

 private:
  const modbus::RegisterWatch& watch_;
  modbus::AddressNotation notation_ = modbus::AddressNotation::kZeroBased;
  std::map<std::uint8_t, modbus::RegisterTypes> types_;
  std::vector<std::uint32_t> keys_;
};

}  // namespace tessaly
