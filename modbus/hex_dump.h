#pragma once

#include <cstdint>
#include <string>

namespace tessaly::modbus {

// Sixteen bytes a line: the offset in hex, the bytes, and the printable ones
// as characters ("." for the rest), lines joined by "\n":
//   0000  01 03 00 6B 00 03 74 17                          ...k..t.
std::string HexDump(const std::uint8_t* bytes, int count);

}  // namespace tessaly::modbus
