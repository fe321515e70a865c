#pragma once

#include "modbus/address_notation.h"
#include "modbus/frame_layout.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tessaly::modbus {

// One line of a decoded frame: what a field is and what it holds.
struct DetailLine {
  std::string label;
  std::string value;
  bool operator==(const DetailLine&) const = default;
};

// The fields of one good frame (CRC included in count): unit, function,
// direction, then the function's own fields. Registers show as unsigned,
// signed and hex; coils and inputs as bits, lowest address first. An answer
// to a read labels its values by address when its request is given (null
// otherwise), addresses written in the notation given (0-based, as sent, by
// default). Exceptions show their code's meaning; functions without a
// known layout, and frames that fit neither of their function's layouts,
// show their data as raw bytes.
std::vector<DetailLine> DecodeFrame(const std::uint8_t* bytes, int count, Direction direction,
                                    const std::uint8_t* request = nullptr, int requestCount = 0,
                                    AddressNotation notation = AddressNotation::kZeroBased);

// "0x1A2B".
std::string Hex16(std::uint16_t value);
// "01 03 0A " without the trailing space.
std::string HexBytes(const std::uint8_t* bytes, int count);

}  // namespace tessaly::modbus
