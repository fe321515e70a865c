#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tessaly::modbus {

// How the words of a register range are read. Multi-word types start at
// their first address and take the registers after it.
enum class ValueType : std::uint8_t {
  kUnsigned16,
  kSigned16,
  kHex16,
  kBits16,
  kUnsigned32,
  kSigned32,
  kFloat32,
  kFloat64,  // four registers
  kAscii,    // two characters a register, high byte first
};

// Which word comes first in a multi-word value: the most significant (as
// the protocol sends bytes) or the least significant, as many meters do.
enum class WordOrder : std::uint8_t { kHighFirst, kLowFirst };

// Registers a value of the type spans.
int WordsOf(ValueType type);

// "u16", "s16", "hex", "bits", "u32", "s32", "f32", "f64", "ascii": short
// names, as stored in the settings; and longer ones for menus.
const char* ShortName(ValueType type);
const char* LongName(ValueType type);
std::optional<ValueType> ValueTypeOfShortName(const std::string& name);

// The words of one value, most significant first, as the type's word order
// puts them.
std::uint64_t Combine(const std::uint16_t* words, int count, WordOrder order);

// A value as text: numbers in decimal; floats with the digits they carry
// ("NaN", "Infinity", "-Infinity", "-0" as such); hex as "0x002A"; bits as
// "0000 0000 0010 1010"; ASCII with '.' for a byte that is not printable.
// words holds WordsOf(type) registers.
std::string FormatValue(ValueType type, WordOrder order, const std::uint16_t* words);

// A value as a number for a plot; nothing for ASCII, NaN and infinities.
std::optional<double> NumericValue(ValueType type, WordOrder order, const std::uint16_t* words);

}  // namespace tessaly::modbus
