#pragma once

#include "modbus/address_notation.h"
#include "modbus/conversation.h"
#include "modbus/register_types.h"

#include <cstdint>
#include <map>
#include <string>

namespace tessaly::modbus {

// How rows are decoded for a report: the line's timing for turnarounds, the
// register types of each unit and the address notation.
struct DecodingChoices {
  LineTiming timing;
  std::map<std::uint8_t, RegisterTypes> types;
  AddressNotation notation = AddressNotation::kZeroBased;
  // The line (0 or 1) that carries the master's requests, in a log of two
  // lines where the user named it; -1 for none.
  int masterLine = -1;
};

// The decoded fields of one row, as texts (empty where a field does not
// apply): a good frame's unit, function, direction, first address and
// quantity (an answer's from its request), values by the chosen types
// ("40101=230.5 40103=17"), exception, and its request's or answer's row
// (from 1) with the turnaround in milliseconds; every row's CRC status.
struct DecodedRow {
  std::string unit;
  std::string function;
  std::string direction;
  std::string startAddress;
  std::string quantity;
  std::string values;
  std::string exception;
  std::string crc;
  std::string pairedRow;
  std::string turnaround;
};

DecodedRow DecodeRow(const PacketSequence& log, int index, const DecodingChoices& choices);

// The column names of the decoded fields, in DecodedRow's order.
// The turnaround's column says what it measures (see Turnaround).
inline constexpr const char* kDecodedColumns[] = {
    "Unit",      "Function",  "Direction", "Start address", "Quantity",
    "Values",    "Exception", "CRC",       "Paired row",
    "Turnaround ms (answer's first byte less request's last byte)"};

// A CSV field: quoted (with doubled quotes) when it holds a comma, a quote
// or a line break.
std::string CsvField(const std::string& text);

}  // namespace tessaly::modbus
