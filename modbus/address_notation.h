#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tessaly::modbus {

// The four data tables a Modbus unit exposes.
enum class Table : std::uint8_t { kCoils, kDiscreteInputs, kInputRegisters, kHoldingRegisters };

// The table a function's addresses count in; nothing for functions
// without addresses.
std::optional<Table> TableOf(std::uint8_t function);

// "Coils", "Discrete inputs", "Input registers", "Holding registers".
const char* TableName(Table table);
// The table's leading digit in the 0xxxx/1xxxx/3xxxx/4xxxx notation.
int TableDigit(Table table);

// How addresses are written. The frame carries 0 to 65535; engineers also
// count from 1, or from 1 behind the table's digit: holding register 0 is
// 40001, and past 9999 the number takes six digits (address 9999 is 410000,
// 65535 is 465536).
enum class AddressNotation : std::uint8_t { kZeroBased, kOneBased, kTableDigit };

const char* NotationName(AddressNotation notation);

std::string FormatAddress(Table table, std::uint16_t address, AddressNotation notation);

// Reads an address typed in a notation. For the table-digit notation the
// table comes from the text (given back in table); otherwise table is left
// as it is. Nothing for text that is not an address of that notation.
std::optional<std::uint16_t> ParseAddress(std::string_view text, AddressNotation notation,
                                          Table& table);

}  // namespace tessaly::modbus
