// Register values as engineers read them: each type and word order against
// known byte patterns (NaN, infinities and negative zero included), address
// notations at the tables' boundaries, and the register watch fed by a
// conversation of reads, writes, an exception and a broadcast.
#include "tests/modbus/modbus_test_support.h"

#include "modbus/address_notation.h"
#include "modbus/register_types.h"
#include "modbus/register_value.h"
#include "modbus/register_watch.h"

#include <gtest/gtest.h>

namespace tessaly::modbus::testing {
namespace {

std::string Format(ValueType type, WordOrder order, std::vector<std::uint16_t> words) {
  return FormatValue(type, order, words.data());
}

TEST(RegisterValue, EachTypeAndWordOrderReadsKnownPatterns) {
  constexpr auto kHigh = WordOrder::kHighFirst;
  constexpr auto kLow = WordOrder::kLowFirst;
  EXPECT_EQ(Format(ValueType::kUnsigned16, kHigh, {0xFFFE}), "65534");
  EXPECT_EQ(Format(ValueType::kSigned16, kHigh, {0xFFFE}), "-2");
  EXPECT_EQ(Format(ValueType::kSigned16, kHigh, {0x8000}), "-32768");
  EXPECT_EQ(Format(ValueType::kHex16, kHigh, {0x002A}), "0x002A");
  EXPECT_EQ(Format(ValueType::kBits16, kHigh, {0x802A}), "1000 0000 0010 1010");
  EXPECT_EQ(Format(ValueType::kAscii, kHigh, {0x4F4B}), "OK");
  EXPECT_EQ(Format(ValueType::kAscii, kHigh, {0x4100}), "A.");

  // 123456789 = 0x075BCD15; -2 = 0xFFFFFFFE.
  EXPECT_EQ(Format(ValueType::kUnsigned32, kHigh, {0x075B, 0xCD15}), "123456789");
  EXPECT_EQ(Format(ValueType::kUnsigned32, kLow, {0xCD15, 0x075B}), "123456789");
  EXPECT_EQ(Format(ValueType::kUnsigned32, kHigh, {0xFFFF, 0xFFFE}), "4294967294");
  EXPECT_EQ(Format(ValueType::kSigned32, kHigh, {0xFFFF, 0xFFFE}), "-2");
  EXPECT_EQ(Format(ValueType::kSigned32, kLow, {0xFFFE, 0xFFFF}), "-2");
  EXPECT_EQ(Format(ValueType::kSigned32, kHigh, {0x8000, 0x0000}), "-2147483648");

  // 230.5 = 0x43668000; 1.0 = 0x3F800000.
  EXPECT_EQ(Format(ValueType::kFloat32, kHigh, {0x4366, 0x8000}), "230.5");
  EXPECT_EQ(Format(ValueType::kFloat32, kLow, {0x8000, 0x4366}), "230.5");
  EXPECT_EQ(Format(ValueType::kFloat32, kHigh, {0x7FC0, 0x0000}), "NaN");
  EXPECT_EQ(Format(ValueType::kFloat32, kHigh, {0xFFC0, 0x0001}), "NaN");
  EXPECT_EQ(Format(ValueType::kFloat32, kHigh, {0x7F80, 0x0000}), "Infinity");
  EXPECT_EQ(Format(ValueType::kFloat32, kLow, {0x0000, 0xFF80}), "-Infinity");
  EXPECT_EQ(Format(ValueType::kFloat32, kHigh, {0x8000, 0x0000}), "-0");
  EXPECT_EQ(Format(ValueType::kFloat32, kHigh, {0x0000, 0x0001}), "1.401298e-45");

  // -1.5 = 0xBFF8000000000000; pi = 0x400921FB54442D18.
  EXPECT_EQ(Format(ValueType::kFloat64, kHigh, {0xBFF8, 0, 0, 0}), "-1.5");
  EXPECT_EQ(Format(ValueType::kFloat64, kHigh, {0x4009, 0x21FB, 0x5444, 0x2D18}), "3.14159265358979");
  EXPECT_EQ(Format(ValueType::kFloat64, kLow, {0x2D18, 0x5444, 0x21FB, 0x4009}), "3.14159265358979");
  EXPECT_EQ(Format(ValueType::kFloat64, kHigh, {0x7FF8, 0, 0, 0}), "NaN");
  EXPECT_EQ(Format(ValueType::kFloat64, kHigh, {0xFFF0, 0, 0, 0}), "-Infinity");
  EXPECT_EQ(Format(ValueType::kFloat64, kLow, {0, 0, 0, 0x8000}), "-0");

  // What a plot can draw.
  const std::uint16_t nan[] = {0x7FC0, 0};
  const std::uint16_t minusTwo[] = {0xFFFE};
  const std::uint16_t ok[] = {0x4F4B};
  EXPECT_FALSE(NumericValue(ValueType::kFloat32, kHigh, nan));
  EXPECT_EQ(NumericValue(ValueType::kSigned16, kHigh, minusTwo), -2.0);
  EXPECT_FALSE(NumericValue(ValueType::kAscii, kHigh, ok));

  for (const char* name : {"u16", "s16", "hex", "bits", "u32", "s32", "f32", "f64", "ascii"}) {
    ASSERT_TRUE(ValueTypeOfShortName(name)) << name;
    EXPECT_STREQ(ShortName(*ValueTypeOfShortName(name)), name);
  }
  EXPECT_FALSE(ValueTypeOfShortName("f16"));
}

TEST(AddressNotation, TablesBoundariesReadBackAsWritten) {
  const struct {
    Table table;
    std::uint16_t address;
    const char* oneBased;
    const char* withDigit;
  } cases[] = {
      {Table::kHoldingRegisters, 0, "1", "40001"},
      {Table::kHoldingRegisters, 9998, "9999", "49999"},
      {Table::kHoldingRegisters, 9999, "10000", "410000"},
      {Table::kHoldingRegisters, 65535, "65536", "465536"},
      {Table::kInputRegisters, 0, "1", "30001"},
      {Table::kDiscreteInputs, 65535, "65536", "165536"},
      {Table::kCoils, 0, "1", "00001"},
      {Table::kCoils, 9998, "9999", "09999"},
      {Table::kCoils, 9999, "10000", "010000"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.withDigit);
    EXPECT_EQ(FormatAddress(c.table, c.address, AddressNotation::kZeroBased), std::to_string(c.address));
    EXPECT_EQ(FormatAddress(c.table, c.address, AddressNotation::kOneBased), c.oneBased);
    EXPECT_EQ(FormatAddress(c.table, c.address, AddressNotation::kTableDigit), c.withDigit);
    Table table = Table::kHoldingRegisters;
    EXPECT_EQ(ParseAddress(c.withDigit, AddressNotation::kTableDigit, table), c.address);
    EXPECT_EQ(table, c.table);
    EXPECT_EQ(ParseAddress(c.oneBased, AddressNotation::kOneBased, table), c.address);
  }
  Table table = Table::kHoldingRegisters;
  for (const char* wrong : {"40000", "465537", "200001", "400001", "4001", "x", ""}) {
    EXPECT_FALSE(ParseAddress(wrong, AddressNotation::kTableDigit, table)) << wrong;
  }
  EXPECT_FALSE(ParseAddress("0", AddressNotation::kOneBased, table));
  EXPECT_FALSE(ParseAddress("65537", AddressNotation::kOneBased, table));
  EXPECT_FALSE(ParseAddress("65536", AddressNotation::kZeroBased, table));
  EXPECT_FALSE(ParseAddress("-1", AddressNotation::kZeroBased, table));
  EXPECT_EQ(ParseAddress("65535", AddressNotation::kZeroBased, table), 65535);
}

class WatchedLog : public ::testing::Test {
 protected:
  void Add(Bytes bytes) {
    at_ += 10'000;
    log_.Add(std::move(bytes), at_);
    watch_.Add(log_.At(log_.Size() - 1));
  }
  std::optional<std::uint16_t> Value(std::uint8_t unit, Table table, std::uint16_t address) const {
    const RegisterState* state = watch_.Find({unit, table, address});
    return state ? std::optional(state->value) : std::nullopt;
  }

  TestLog log_;
  RegisterWatch watch_;
  std::int64_t at_ = 0;
};

TEST_F(WatchedLog, ReadsAndAcceptedWritesGiveValuesAndHistory) {
  Add(Frame("05 03 00 64 00 02"));                 // holding 100..101
  Add(Frame("05 03 04 43 66 80 00"));              // 230.5 as a float
  Add(Frame("05 01 00 0A 00 0A"));                 // coils 10..19
  Add(Frame("05 01 02 05 02"));                    // 10, 12 and 19 on
  Add(Frame("05 06 00 64 43 67"));                 // write 100
  Add(Frame("05 06 00 64 43 67"));                 // its echo
  Add(Frame("05 10 00 C8 00 01 02 12 34"));        // write 200...
  Add(Frame("05 90 02"));                          // ...refused: nothing changes
  Add(Frame("00 06 00 07 00 2A"));                 // broadcast write
  Add(Frame("05 04 FF FF 00 01"));                 // input register 65535
  Add(Frame("05 04 02 AB CD"));
  Add(Frame("06 03 00 00 00 01"));                 // unit 6 does not answer...
  Add(Frame("05 03 00 64 00 01"));                 // ...so this is no answer to it
  Add(Frame("05 03 02 43 68"));

  EXPECT_EQ(Value(5, Table::kHoldingRegisters, 101), 0x8000);
  EXPECT_EQ(Value(5, Table::kCoils, 10), 1);
  EXPECT_EQ(Value(5, Table::kCoils, 11), 0);
  EXPECT_EQ(Value(5, Table::kCoils, 12), 1);
  EXPECT_EQ(Value(5, Table::kCoils, 19), 1);
  EXPECT_FALSE(Value(5, Table::kCoils, 20));
  EXPECT_FALSE(Value(5, Table::kHoldingRegisters, 200));
  EXPECT_EQ(Value(0, Table::kHoldingRegisters, 7), 42);
  EXPECT_EQ(Value(5, Table::kInputRegisters, 65535), 0xABCD);
  EXPECT_FALSE(Value(6, Table::kHoldingRegisters, 0));

  const RegisterState* first = watch_.Find({5, Table::kHoldingRegisters, 100});
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->value, 0x4368);
  EXPECT_EQ(first->changes, 2u);
  EXPECT_EQ(first->lastChanged, 140'000);
  ASSERT_EQ(first->history.size(), 3u);
  EXPECT_EQ(first->history[1].at, 60'000);  // when the echo came

  // The float over time: 230.5, then 231.5 after the write, then 232.5.
  const auto samples = watch_.History({5, Table::kHoldingRegisters, 100}, 2);
  ASSERT_EQ(samples.size(), 3u);
  std::vector<std::string> values;
  for (const auto& sample : samples) {
    values.push_back(FormatValue(ValueType::kFloat32, WordOrder::kHighFirst, sample.words.data()));
  }
  EXPECT_EQ(values, (std::vector<std::string>{"230.5", "231.5", "232.5"}));
  EXPECT_EQ(watch_.Words({5, Table::kHoldingRegisters, 100}, 2),
            (std::vector<std::uint16_t>{0x4368, 0x8000}));
  EXPECT_FALSE(watch_.Words({5, Table::kHoldingRegisters, 101}, 2));

  watch_.Clear();
  EXPECT_TRUE(watch_.Registers().empty());
}

TEST_F(WatchedLog, HistoryOfABusyRegisterStaysBounded) {
  for (int i = 0; i < 10'000; ++i) {
    Add(Frame("07 03 00 00 00 01"));
    Add(WithCrc({0x07, 0x03, 0x02, static_cast<std::uint8_t>(i >> 8), static_cast<std::uint8_t>(i)}));
  }
  const RegisterState* state = watch_.Find({7, Table::kHoldingRegisters, 0});
  ASSERT_NE(state, nullptr);
  EXPECT_EQ(state->changes, 9'999u);
  EXPECT_LE(state->history.size(), RegisterState::kHistoryLimit);
  EXPECT_EQ(state->history.front().value, 0);
  EXPECT_EQ(state->history.back().value, 9'999);
}

}  // namespace
}  // namespace tessaly::modbus::testing

namespace tessaly::modbus::testing {
namespace {

TEST(RegisterTypes, RangesOverlapSplitAndSurviveTheirText) {
  RegisterTypes types;
  types.Set({Table::kHoldingRegisters, 100, 109, ValueType::kFloat32, WordOrder::kLowFirst});
  types.Set({Table::kHoldingRegisters, 104, 104, ValueType::kSigned16, WordOrder::kHighFirst});
  // 100..103 as floats, 104 signed, 105..109: a float at 105 and 107, and
  // 109 left alone as a plain register.
  EXPECT_EQ(types.At(Table::kHoldingRegisters, 101).valueStart, 100);
  EXPECT_EQ(types.At(Table::kHoldingRegisters, 101).type, ValueType::kFloat32);
  EXPECT_EQ(types.At(Table::kHoldingRegisters, 104).type, ValueType::kSigned16);
  EXPECT_EQ(types.At(Table::kHoldingRegisters, 106).valueStart, 105);
  EXPECT_EQ(types.At(Table::kHoldingRegisters, 109).type, ValueType::kUnsigned16);
  EXPECT_EQ(types.At(Table::kInputRegisters, 101).type, ValueType::kUnsigned16);
  EXPECT_EQ(types.At(Table::kHoldingRegisters, 107).order, WordOrder::kLowFirst);

  bool ok = false;
  const RegisterTypes read = RegisterTypes::FromText(types.ToText(), ok);
  EXPECT_TRUE(ok);
  EXPECT_EQ(read.Ranges(), types.Ranges());

  // Damaged text keeps what it can and says so.
  const RegisterTypes damaged =
      RegisterTypes::FromText("holding:0-3:f64:high;holding:9-1:u16:high;input:x:u16:low;nonsense", ok);
  EXPECT_FALSE(ok);
  ASSERT_EQ(damaged.Ranges().size(), 1u);
  EXPECT_EQ(damaged.At(Table::kHoldingRegisters, 3).valueStart, 0);
  EXPECT_TRUE(RegisterTypes::FromText("", ok).Empty());
  EXPECT_TRUE(ok);
}

}  // namespace
}  // namespace tessaly::modbus::testing
