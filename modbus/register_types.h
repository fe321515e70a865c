#pragma once

#include "modbus/address_notation.h"
#include "modbus/register_value.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly::modbus {

// Registers first..last of a table read as one type.
struct TypedRange {
  Table table = Table::kHoldingRegisters;
  std::uint16_t first = 0;
  std::uint16_t last = 0;
  ValueType type = ValueType::kUnsigned16;
  WordOrder order = WordOrder::kHighFirst;
  bool operator==(const TypedRange&) const = default;
};

// How the registers of one unit are read, as the user chose by address
// range; registers of no range read as unsigned 16-bit.
class RegisterTypes {
 public:
  // How one register reads: its type, and where the value it is part of
  // starts (itself for 16-bit types).
  struct Reading {
    ValueType type = ValueType::kUnsigned16;
    WordOrder order = WordOrder::kHighFirst;
    std::uint16_t valueStart = 0;
  };

  // A range chosen later takes precedence where it overlaps earlier ones.
  void Set(const TypedRange& range);
  Reading At(Table table, std::uint16_t address) const;
  const std::vector<TypedRange>& Ranges() const { return ranges_; }
  bool Empty() const { return ranges_.empty(); }

  // "holding:100-101:f32:high;input:0-3:s16:high", as stored in the
  // settings. FromText keeps the ranges it can read; ok turns false when a
  // part could not be read (damaged or hand-edited text).
  std::string ToText() const;
  static RegisterTypes FromText(std::string_view text, bool& ok);

 private:
  std::vector<TypedRange> ranges_;  // not overlapping, in the order chosen
};

}  // namespace tessaly::modbus
