// A log of a master polling its slaves: directions across the conversation,
// request/answer pairing with a missing answer, silences and time on the
// line, the details of merged packets, and the row filters.
#include "tests/modbus/modbus_test_support.h"

#include "modbus/frame_check.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace tessaly::modbus::testing {
namespace {

using ::testing::Contains;
using ::testing::IsSupersetOf;
using ::testing::Not;

constexpr LineTiming k9600{9600, 10};  // 1041.7 microseconds a byte

// Rows as the grid numbers them: 1 to 9.
class PollingLog : public ::testing::Test {
 protected:
  void SetUp() override {
    std::int64_t at = 1'000'000;
    const auto add = [&](Bytes bytes, std::int64_t after) {
      at += after;
      log_.Add(std::move(bytes), at);
    };
    add(Frame("11 03 00 6B 00 03"), 0);                    // 1 request
    add(Frame("11 03 06 AE 41 56 52 43 40"), 20'000);      // 2 its answer
    add(Frame("11 06 00 01 00 03"), 100'000);              // 3 write, never answered
    add(Frame("12 06 00 01 00 07"), 300'000);              // 4 write to another unit
    add(Frame("12 06 00 01 00 07"), 15'000);               // 5 its echo
    add(Frame("00 06 00 02 00 01"), 100'000);              // 6 broadcast
    add(Joined({Frame("11 03 00 00 00 01"), Frame("11 03 02 00 2A")}), 100'000);  // 7 merged
    add(Hex("11 03 02 00 2A 00 00"), 100'000);             // 8 bad CRC
    add(Frame("13 04 00 00 00 02"), 100'000);              // 9 request, last
  }

  std::vector<DetailLine> Describe(int row) const { return DescribePacket(log_, row - 1, k9600); }

  TestLog log_;
};

TEST_F(PollingLog, RequestsAndAnswersArePaired) {
  const struct {
    int row;
    Pairing::Kind kind;
    int other;  // grid row, 0 for none
  } rows[] = {
      {1, Pairing::kAnsweredBy, 2}, {2, Pairing::kAnswers, 1}, {3, Pairing::kNoAnswer, 4},
      {4, Pairing::kAnsweredBy, 5}, {5, Pairing::kAnswers, 4}, {6, Pairing::kBroadcast, 0},
      {8, Pairing::kNone, 0},       {9, Pairing::kWaiting, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.row);
    const Pairing pairing = PairingOf(log_, row.row - 1, k9600);
    EXPECT_EQ(pairing.kind, row.kind);
    if (row.other > 0) {
      EXPECT_EQ(pairing.row, row.other - 1);
    }
  }
}

TEST_F(PollingLog, AddressesInTheChosenNotation) {
  const auto tableDigit = [this](int row) {
    return DescribePacket(log_, row - 1, k9600, AddressNotation::kTableDigit);
  };
  EXPECT_THAT(tableDigit(1), Contains(DetailLine{"Starting address", "40108 (0x006B)"}));
  EXPECT_THAT(tableDigit(2), Contains(DetailLine{"Register 40108", "44609  signed -20927  hex 0xAE41"}));
  EXPECT_THAT(tableDigit(3), Contains(DetailLine{"Register address", "40002 (0x0001)"}));
  EXPECT_THAT(DescribePacket(log_, 0, k9600, AddressNotation::kOneBased),
              Contains(DetailLine{"Starting address", "108 (0x006B)"}));
}

TEST_F(PollingLog, DetailsNameTheAnswerTheSilenceAndTheMissingAnswer) {
  // The answer of 11 bytes ended 20 ms after the request; its first byte
  // came when the first of its characters had crossed, its other 10 (10417
  // us) before its end: 9.6 ms from the request's last byte to its first.
  EXPECT_THAT(Describe(1), IsSupersetOf({DetailLine{"Frame", "Good frame"},
                                         DetailLine{"CRC sent", "0x8776"},
                                         DetailLine{"CRC computed", "0x8776"},
                                         DetailLine{"Time on the line", "8.3 ms at 9600 baud"},
                                         DetailLine{"Silence before", "none: first packet of the log"},
                                         DetailLine{"Answer", "row 2, turnaround 9.6 ms"}}));
  EXPECT_THAT(Describe(2), IsSupersetOf({DetailLine{"Silence before", "9.6 ms"},
                                         DetailLine{"Register 107", "44609  signed -20927  hex 0xAE41"},
                                         DetailLine{"Request", "row 1, turnaround 9.6 ms"}}));
  EXPECT_THAT(Describe(3), Contains(DetailLine{"Answer", "none before the next request (row 4)"}));
  EXPECT_THAT(Describe(5), Contains(DetailLine{"Direction", "Response"}));
  EXPECT_THAT(Describe(6), Contains(DetailLine{"Answer", "none expected (broadcast)"}));
  EXPECT_THAT(Describe(9), Contains(DetailLine{"Answer", "none yet"}));
}

TEST_F(PollingLog, MergedAndDamagedPacketsAreDescribedWithoutDecodingGarbage) {
  EXPECT_THAT(Describe(7), IsSupersetOf({DetailLine{"Frame", "Frames merged"},
                                         DetailLine{"Hint", "the CRC fails, but the bytes split into 2 frames "
                                                            "that each pass: no silence long enough ended the "
                                                            "packet between them. With \"Cut at the line's "
                                                            "silences\" (Serial settings) each gets a row of its "
                                                            "own."},
                                         DetailLine{"Frame 1 of 2", "bytes 0..7, CRC 0x9A86"},
                                         DetailLine{"Quantity", "1"},
                                         DetailLine{"Register 0", "42  signed 42  hex 0x002A"}}));
  const auto damaged = Describe(8);
  EXPECT_THAT(damaged, IsSupersetOf({DetailLine{"Frame", "Bad CRC"},
                                     DetailLine{"CRC sent", "0x0000"},
                                     DetailLine{"Unit (unchecked)", "17"}}));
  EXPECT_THAT(damaged, Not(Contains(::testing::Field(&DetailLine::label, "Direction"))));
  // A damaged frame that does not split into good ones gets no hint.
  EXPECT_THAT(damaged, Not(Contains(::testing::Field(&DetailLine::label, "Hint"))));
  TestLog garbled;
  garbled.Add(Frame("11 03 00 6B 00 03"), 0);
  garbled.Add(Hex("11 03 06 AE 41 56 52 43 40 00 00"), 20'000);
  garbled.Add(Frame("11 03 00 6B 00 03"), 200'000);
  EXPECT_THAT(DescribePacket(garbled, 0, k9600),
              IsSupersetOf({DetailLine{"Damaged packet", "row 2, perhaps the answer"},
                            DetailLine{"Answer", "none before the next request (row 3)"}}));
  TestLog tiny;
  tiny.Add({}, 0);
  tiny.Add(Hex("11"), 5'000);
  EXPECT_THAT(DescribePacket(tiny, 0, k9600), Contains(DetailLine{"Frame", "Too short for a frame"}));
  // One byte, so its first byte is its last: 5 ms after the empty row's end.
  EXPECT_THAT(DescribePacket(tiny, 1, k9600), Contains(DetailLine{"Silence before", "5.0 ms"}));
}

// Where the log knows when each packet's bytes came, the turnaround is the
// answer's first byte less the request's last, whatever the line's speed;
// where it knows neither those times nor the speed (a gateway), it says so.
TEST(TurnaroundTest, FromByteTimesWhereKnown_UnknownWithoutTimesOrSpeed) {
  const LineTiming unknownSpeed{0, 10};
  TestLog timed;
  timed.Add(Frame("11 03 00 6B 00 03"), 1'010'000, 1'000'000, 1'006'000);
  timed.Add(Frame("11 03 06 AE 41 56 52 43 40"), 1'030'000, 1'009'500, 1'026'000);
  for (const LineTiming& timing : {k9600, unknownSpeed}) {
    EXPECT_THAT(DescribePacket(timed, 0, timing), Contains(DetailLine{"Answer", "row 2, turnaround 3.5 ms"}));
    EXPECT_THAT(DescribePacket(timed, 1, timing), Contains(DetailLine{"Silence before", "3.5 ms"}));
  }
  TestLog untimed;
  untimed.Add(Frame("11 03 00 6B 00 03"), 1'010'000);
  untimed.Add(Frame("11 03 06 AE 41 56 52 43 40"), 1'030'000);
  EXPECT_THAT(DescribePacket(untimed, 0, unknownSpeed), Contains(DetailLine{"Answer", "row 2, turnaround unknown"}));
  EXPECT_THAT(DescribePacket(untimed, 1, unknownSpeed),
              IsSupersetOf({DetailLine{"Silence before", "unknown: the line's speed is not known"},
                            DetailLine{"Time on the line", "unknown: the line's speed is not known"}}));
}

TEST_F(PollingLog, FiltersPickRowsByUnitFunctionDamageAndBytes) {
  const auto rowsMatching = [this](const RowFilter& filter) {
    std::vector<int> rows;
    for (int index = 0; index < log_.Size(); ++index) {
      const LoggedPacket packet = log_.At(index);
      if (filter.Matches(packet.bytes, packet.count)) rows.push_back(index + 1);
    }
    return rows;
  };
  const auto filter = [](std::optional<std::uint8_t> unit, std::optional<std::uint8_t> function,
                         bool bad, Bytes sequence) {
    RowFilter made;
    made.unit = unit;
    made.function = function;
    made.badFramesOnly = bad;
    made.sequence = std::move(sequence);
    return made;
  };
  const auto none = std::nullopt;
  const struct {
    const char* name;
    RowFilter filter;
    std::vector<int> rows;
  } cases[] = {
      {"nothing set", filter(none, none, false, {}), {1, 2, 3, 4, 5, 6, 7, 8, 9}},
      {"unit 18", filter(0x12, none, false, {}), {4, 5}},
      {"function 6", filter(none, 6, false, {}), {3, 4, 5, 6}},
      {"unit 17 reading", filter(0x11, 3, false, {}), {1, 2, 7, 8}},
      {"bad frames", filter(none, none, true, {}), {7, 8}},
      {"byte sequence", filter(none, none, false, Hex("00 2A")), {7, 8}},
      {"sequence and unit", filter(0x12, none, false, Hex("00 07")), {4, 5}},
      {"sequence nowhere", filter(none, none, false, Hex("DE AD")), {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(rowsMatching(c.filter), c.rows);
  }
}

TEST(RowFilter, TypedHexSequencesAreRead) {
  EXPECT_EQ(ParseHexSequence("01 03 0a"), (Bytes{0x01, 0x03, 0x0A}));
  EXPECT_EQ(ParseHexSequence("0103FF"), (Bytes{0x01, 0x03, 0xFF}));
  EXPECT_EQ(ParseHexSequence(" 1,3 , 0x7f "), (Bytes{0x01, 0x03, 0x7F}));
  for (const char* wrong : {"", "   ", "010", "0G", "01 03x", "0x"}) {
    SCOPED_TRACE(wrong);
    EXPECT_FALSE(ParseHexSequence(wrong).has_value());
  }
}

}  // namespace
}  // namespace tessaly::modbus::testing
