#include "modbus/register_value.h"

#include <bit>
#include <cmath>
#include <cstdio>

namespace tessaly::modbus {
namespace {

struct TypeNames {
  ValueType type;
  const char* shortName;
  const char* longName;
};

constexpr TypeNames kTypes[] = {
    {ValueType::kUnsigned16, "u16", "Unsigned 16-bit"},
    {ValueType::kSigned16, "s16", "Signed 16-bit"},
    {ValueType::kHex16, "hex", "Hex 16-bit"},
    {ValueType::kBits16, "bits", "Bits"},
    {ValueType::kUnsigned32, "u32", "Unsigned 32-bit"},
    {ValueType::kSigned32, "s32", "Signed 32-bit"},
    {ValueType::kFloat32, "f32", "Float 32-bit"},
    {ValueType::kFloat64, "f64", "Float 64-bit"},
    {ValueType::kAscii, "ascii", "ASCII"},
};

std::string FloatText(double value, int digits) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "Infinity" : "-Infinity";
  char text[48];
  std::snprintf(text, sizeof text, "%.*g", digits, value);
  return text;
}

double FloatOf(ValueType type, std::uint64_t bits) {
  if (type == ValueType::kFloat32) {
    return std::bit_cast<float>(static_cast<std::uint32_t>(bits));
  }
  return std::bit_cast<double>(bits);
}

}  // namespace

int WordsOf(ValueType type) {
  switch (type) {
    case ValueType::kUnsigned32:
    case ValueType::kSigned32:
    case ValueType::kFloat32:
      return 2;
    case ValueType::kFloat64:
      return 4;
    default:
      return 1;
  }
}

const char* ShortName(ValueType type) {
  for (const TypeNames& names : kTypes) {
    if (names.type == type) return names.shortName;
  }
  return "u16";
}

const char* LongName(ValueType type) {
  for (const TypeNames& names : kTypes) {
    if (names.type == type) return names.longName;
  }
  return "Unsigned 16-bit";
}

std::optional<ValueType> ValueTypeOfShortName(const std::string& name) {
  for (const TypeNames& names : kTypes) {
    if (name == names.shortName) return names.type;
  }
  return std::nullopt;
}

std::uint64_t Combine(const std::uint16_t* words, int count, WordOrder order) {
  std::uint64_t value = 0;
  for (int i = 0; i < count; ++i) {
    const std::uint16_t word = order == WordOrder::kHighFirst ? words[i] : words[count - 1 - i];
    value = value << 16 | word;
  }
  return value;
}

std::string FormatValue(ValueType type, WordOrder order, const std::uint16_t* words) {
  const std::uint64_t value = Combine(words, WordsOf(type), order);
  char text[40];
  switch (type) {
    case ValueType::kUnsigned16:
    case ValueType::kUnsigned32:
      return std::to_string(value);
    case ValueType::kSigned16:
      return std::to_string(static_cast<std::int16_t>(value));
    case ValueType::kSigned32:
      return std::to_string(static_cast<std::int32_t>(value));
    case ValueType::kHex16:
      std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(value));
      return text;
    case ValueType::kBits16: {
      std::string bits;
      for (int bit = 15; bit >= 0; --bit) {
        bits += (value >> bit & 1) ? '1' : '0';
        if (bit % 4 == 0 && bit > 0) bits += ' ';
      }
      return bits;
    }
    case ValueType::kFloat32:
      return FloatText(FloatOf(type, value), 7);
    case ValueType::kFloat64:
      return FloatText(FloatOf(type, value), 15);
    case ValueType::kAscii: {
      std::string characters;
      for (const int shift : {8, 0}) {
        const char c = static_cast<char>(value >> shift & 0xFF);
        characters += c >= 0x20 && c < 0x7F ? c : '.';
      }
      return characters;
    }
  }
  return std::to_string(value);
}

std::optional<double> NumericValue(ValueType type, WordOrder order, const std::uint16_t* words) {
  const std::uint64_t value = Combine(words, WordsOf(type), order);
  switch (type) {
    case ValueType::kSigned16:
      return static_cast<std::int16_t>(value);
    case ValueType::kSigned32:
      return static_cast<std::int32_t>(value);
    case ValueType::kFloat32:
    case ValueType::kFloat64: {
      const double number = FloatOf(type, value);
      if (!std::isfinite(number)) return std::nullopt;
      return number;
    }
    case ValueType::kAscii:
      return std::nullopt;
    default:
      return static_cast<double>(value);
  }
}

}  // namespace tessaly::modbus
