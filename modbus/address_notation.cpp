#include "modbus/address_notation.h"

#include "modbus/function_names.h"

#include <charconv>

namespace tessaly::modbus {
namespace {

constexpr int kFiveDigitLast = 9999;  // the last one-based number that fits four digits

std::optional<long> Number(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (text.empty()) return std::nullopt;
  long value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc{} || end != text.data() + text.size() || value < 0) return std::nullopt;
  return value;
}

std::optional<Table> TableOfDigit(long digit) {
  switch (digit) {
    case 0: return Table::kCoils;
    case 1: return Table::kDiscreteInputs;
    case 3: return Table::kInputRegisters;
    case 4: return Table::kHoldingRegisters;
    default: return std::nullopt;
  }
}

}  // namespace

std::optional<Table> TableOf(std::uint8_t function) {
  switch (function) {
    case kReadCoils:
    case kWriteSingleCoil:
    case kWriteMultipleCoils: return Table::kCoils;
    case kReadDiscreteInputs: return Table::kDiscreteInputs;
    case kReadInputRegisters: return Table::kInputRegisters;
    case kReadHoldingRegisters:
    case kWriteSingleRegister:
    case kWriteMultipleRegisters:
    case kMaskWriteRegister:
    case kReadWriteMultipleRegisters: return Table::kHoldingRegisters;
    default: return std::nullopt;
  }
}

const char* TableName(Table table) {
  switch (table) {
    case Table::kCoils: return "Coils";
    case Table::kDiscreteInputs: return "Discrete inputs";
    case Table::kInputRegisters: return "Input registers";
    case Table::kHoldingRegisters: return "Holding registers";
  }
  return "";
}

int TableDigit(Table table) {
  switch (table) {
    case Table::kCoils: return 0;
    case Table::kDiscreteInputs: return 1;
    case Table::kInputRegisters: return 3;
    case Table::kHoldingRegisters: return 4;
  }
  return 4;
}

const char* NotationName(AddressNotation notation) {
  switch (notation) {
    case AddressNotation::kZeroBased: return "0-based";
    case AddressNotation::kOneBased: return "1-based";
    case AddressNotation::kTableDigit: return "4xxxx";
  }
  return "";
}

std::string FormatAddress(Table table, std::uint16_t address, AddressNotation notation) {
  const long oneBased = static_cast<long>(address) + 1;
  switch (notation) {
    case AddressNotation::kZeroBased:
      return std::to_string(address);
    case AddressNotation::kOneBased:
      return std::to_string(oneBased);
    case AddressNotation::kTableDigit: {
      // The digit leads a four-digit number, or a five-digit one past 9999;
      // coils (digit 0) keep their leading zero.
      std::string digits = std::to_string(oneBased);
      const std::size_t width = oneBased <= kFiveDigitLast ? 4 : 5;
      if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
      return std::to_string(TableDigit(table)) + digits;
    }
  }
  return std::to_string(address);
}

std::optional<std::uint16_t> ParseAddress(std::string_view text, AddressNotation notation,
                                          Table& table) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  const auto value = Number(text);
  if (!value) return std::nullopt;
  switch (notation) {
    case AddressNotation::kZeroBased:
      if (*value > 65535) return std::nullopt;
      return static_cast<std::uint16_t>(*value);
    case AddressNotation::kOneBased:
      if (*value < 1 || *value > 65536) return std::nullopt;
      return static_cast<std::uint16_t>(*value - 1);
    case AddressNotation::kTableDigit: {
      // Five characters: digit and 1..9999; six: digit and 10000..65536.
      if (text.size() != 5 && text.size() != 6) return std::nullopt;
      const long scale = text.size() == 5 ? 10'000 : 100'000;
      const auto digitTable = TableOfDigit(*value / scale);
      const long oneBased = *value % scale;
      if (!digitTable || oneBased < 1 || oneBased > 65536) return std::nullopt;
      if (text.size() == 6 && oneBased <= kFiveDigitLast) return std::nullopt;
      table = *digitTable;
      return static_cast<std::uint16_t>(oneBased - 1);
    }
  }
  return std::nullopt;
}

}  // namespace tessaly::modbus
