#include "modbus/hex_dump.h"

#include <cstdio>

namespace tessaly::modbus {

std::string HexDump(const std::uint8_t* bytes, int count) {
  constexpr int kPerLine = 16;
  std::string dump;
  for (int line = 0; line < count; line += kPerLine) {
    if (line > 0) dump += '\n';
    char offset[12];
    std::snprintf(offset, sizeof offset, "%04X ", line);
    dump += offset;
    std::string text;
    for (int i = line; i < line + kPerLine; ++i) {
      if (i < count) {
        char hex[4];
        std::snprintf(hex, sizeof hex, " %02X", bytes[i]);
        dump += hex;
        text += bytes[i] >= 0x20 && bytes[i] <= 0x7E ? static_cast<char>(bytes[i]) : '.';
      } else {
        dump += "   ";
      }
    }
    dump += "  ";
    dump += text;
  }
  return dump;
}

}  // namespace tessaly::modbus
