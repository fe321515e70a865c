// The CRC check and the decoding of single frames, from published example
// frames of every supported function and from damaged packets.
#include "tests/modbus/modbus_test_support.h"

#include "modbus/frame_check.h"
#include "modbus/frame_decoder.h"
#include "modbus/hex_dump.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace tessaly::modbus::testing {
namespace {

using ::testing::IsSupersetOf;

TEST(FrameCheck, GoodDamagedShortAndMergedPacketsAreTold) {
  const Bytes request = Hex("11 03 00 6B 00 03 76 87");
  const Bytes answer = Frame("11 03 06 AE 41 56 52 43 40");
  Bytes flipped = request;
  flipped[3] ^= 0x01;
  const struct {
    const char* name;
    Bytes packet;
    FrameKind kind;
    std::vector<int> frames;
  } rows[] = {
      {"published read request", request, FrameKind::Good, {8}},
      {"published coil write", Hex("01 05 00 00 FF 00 8C 3A"), FrameKind::Good, {8}},
      {"published read of ten registers", Hex("01 03 00 00 00 0A C5 CD"), FrameKind::Good, {8}},
      {"one bit changed", flipped, FrameKind::BadCrc, {}},
      {"CRC bytes swapped", Hex("11 03 00 6B 00 03 87 76"), FrameKind::BadCrc, {}},
      {"answer cut short", Bytes(answer.begin(), answer.begin() + 7), FrameKind::BadCrc, {}},
      {"stray byte after a frame", Joined({request, {0xFF}}), FrameKind::BadCrc, {}},
      {"empty packet", {}, FrameKind::TooShort, {}},
      {"three bytes", Hex("11 03 00"), FrameKind::TooShort, {}},
      {"request and answer in one packet", Joined({request, answer}), FrameKind::Merged, {8, 11}},
      {"three frames in one packet", Joined({request, answer, request}), FrameKind::Merged,
       {8, 11, 8}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(CheckFrame(row.packet.data(), static_cast<int>(row.packet.size())), row.kind);
    EXPECT_EQ(SplitFrames(row.packet.data(), static_cast<int>(row.packet.size())), row.frames);
  }
}

TEST(FrameDecoder, EverySupportedFunctionShowsItsFields) {
  const auto R = Direction::Request;
  const auto A = Direction::Response;
  const struct {
    const char* name;
    Bytes frame;
    Direction direction;
    Bytes request;
    std::vector<DetailLine> expected;
  } rows[] = {
      {"read holding registers, request", Frame("11 03 00 6B 00 03"), R, {},
       {{"Unit", "17"}, {"Function", "3 Read Holding Registers"}, {"Direction", "Request"},
        {"Starting address", "107 (0x006B)"}, {"Quantity", "3"}}},
      {"read holding registers, answer labelled by its request",
       Frame("11 03 06 AE 41 56 52 43 40"), A, Frame("11 03 00 6B 00 03"),
       {{"Direction", "Response"}, {"Byte count", "6"},
        {"Register 107", "44609  signed -20927  hex 0xAE41"},
        {"Register 109", "17216  signed 17216  hex 0x4340"}}},
      {"read input registers, answer alone", Frame("11 04 02 00 0A"), A, {},
       {{"Function", "4 Read Input Registers"}, {"Register #1", "10  signed 10  hex 0x000A"}}},
      {"read coils, request", Frame("11 01 00 13 00 25"), R, {},
       {{"Starting address", "19 (0x0013)"}, {"Quantity", "37"}}},
      {"read coils, answer trimmed to the requested 37 bits", Frame("11 01 05 CD 6B B2 0E 1B"), A,
       Frame("11 01 00 13 00 25"),
       {{"Bits 19..26", "1 0 1 1 0 0 1 1"}, {"Bits 51..55", "1 1 0 1 1"}}},
      {"read discrete inputs, answer alone", Frame("11 02 03 AC DB 35"), A, {},
       {{"Bits #1..#8", "0 0 1 1 0 1 0 1"}, {"Bits #17..#24", "1 0 1 0 1 1 0 0"}}},
      {"write single coil", Frame("11 05 00 AC FF 00"), R, {},
       {{"Coil address", "172 (0x00AC)"}, {"Value", "ON (0xFF00)"}}},
      {"write single register, echo", Frame("11 06 00 01 00 03"), A, {},
       {{"Direction", "Response"}, {"Register address", "1 (0x0001)"},
        {"Value", "3  signed 3  hex 0x0003"}}},
      {"diagnostics, return query data", Frame("11 08 00 00 A5 37"), R, {},
       {{"Sub-function", "0 Return Query Data"}, {"Data", "42295  signed -23241  hex 0xA537"}}},
      {"diagnostics, bus message count", Frame("11 08 00 0B 01 2C"), A, {},
       {{"Sub-function", "11 Return Bus Message Count"}, {"Data", "300  signed 300  hex 0x012C"}}},
      {"write multiple coils, request", Frame("11 0F 00 13 00 0A 02 CD 01"), R, {},
       {{"Quantity", "10"}, {"Byte count", "2"}, {"Bits 19..26", "1 0 1 1 0 0 1 1"},
        {"Bits 27..28", "1 0"}}},
      {"write multiple coils, answer", Frame("11 0F 00 13 00 0A"), A, {},
       {{"Starting address", "19 (0x0013)"}, {"Quantity", "10"}}},
      {"write multiple registers, request", Frame("11 10 00 01 00 02 04 00 0A 01 02"), R, {},
       {{"Register 1", "10  signed 10  hex 0x000A"}, {"Register 2", "258  signed 258  hex 0x0102"}}},
      {"report server ID, request", Frame("11 11"), R, {},
       {{"Function", "17 Report Server ID"}}},
      {"report server ID, answer", Frame("11 11 05 54 45 53 54 FF"), A, {},
       {{"Server data", "54 45 53 54 FF"}, {"Run indicator (last byte)", "ON (0xFF)"}}},
      {"mask write register", Frame("11 16 00 04 00 F2 00 25"), R, {},
       {{"Register address", "4 (0x0004)"}, {"AND mask", "0x00F2  0000 0000 1111 0010"},
        {"OR mask", "0x0025  0000 0000 0010 0101"}}},
      {"read/write multiple registers, request",
       Frame("11 17 00 03 00 06 00 0E 00 03 06 00 FF 00 FF 00 FF"), R, {},
       {{"Read starting address", "3 (0x0003)"}, {"Read quantity", "6"},
        {"Write starting address", "14 (0x000E)"}, {"Write quantity", "3"},
        {"Register 16", "255  signed 255  hex 0x00FF"}}},
      {"read/write multiple registers, answer",
       Frame("11 17 0C 00 FE 0A CD 00 01 00 03 00 0D 00 FF"), A,
       Frame("11 17 00 03 00 06 00 0E 00 03 06 00 FF 00 FF 00 FF"),
       {{"Register 3", "254  signed 254  hex 0x00FE"}, {"Register 8", "255  signed 255  hex 0x00FF"}}},
      {"read device identification, request", Frame("11 2B 0E 01 00"), R, {},
       {{"MEI type", "14 Read Device Identification"}, {"Read device ID code", "1 (basic)"},
        {"Object ID", "0 VendorName"}}},
      {"read device identification, answer",
       Frame("11 2B 0E 01 01 00 00 03 00 04 41 43 4D 45 01 02 58 31 02 03 31 2E 30"), A, {},
       {{"Number of objects", "3"}, {"Object 0 VendorName", "\"ACME\""},
        {"Object 2 MajorMinorRevision", "\"1.0\""}}},
      {"exception answer", Frame("11 83 02"), A, {},
       {{"Function", "0x83: exception to 3 Read Holding Registers"}, {"Direction", "Response"},
        {"Exception code", "2 Illegal data address"}}},
      {"exception with an undefined code", Frame("11 90 0C"), A, {},
       {{"Exception code", "12 (not defined)"}}},
      {"unknown function with a right CRC", Frame("11 41 01 02 03"), Direction::Unknown, {},
       {{"Function", "65 (not defined)"}, {"Direction", "Not known (fits no layout)"},
        {"Data (raw)", "01 02 03"}}},
      {"known function of the wrong length", Frame("11 03 00 6B 00"), Direction::Unknown, {},
       {{"Data (raw)", "00 6B 00"}}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    ASSERT_EQ(CheckFrame(row.frame.data(), static_cast<int>(row.frame.size())), FrameKind::Good);
    const auto lines = DecodeFrame(row.frame.data(), static_cast<int>(row.frame.size()),
                                   row.direction, row.request.empty() ? nullptr : row.request.data(),
                                   static_cast<int>(row.request.size()));
    EXPECT_THAT(lines, IsSupersetOf(row.expected));
  }
}

TEST(FrameDecoder, DirectionComesFromTheLayoutAndTheFrameBefore) {
  const auto summarize = [](const Bytes& frame, const FrameSummary* previous) {
    return Summarize(frame.data(), static_cast<int>(frame.size()), previous);
  };
  const Bytes write = Frame("11 06 00 01 00 03");
  const FrameSummary writeRequest = summarize(write, nullptr);
  EXPECT_EQ(writeRequest.direction, Direction::Request);
  EXPECT_EQ(summarize(write, &writeRequest).direction, Direction::Response);
  // Another write after a request is a new request, not its echo.
  EXPECT_EQ(summarize(Frame("11 06 00 01 00 04"), &writeRequest).direction, Direction::Request);
  EXPECT_EQ(summarize(Frame("12 06 00 01 00 03"), &writeRequest).direction, Direction::Request);
  // A read of eight bytes has only the request's layout; an exception only
  // the response's, whatever came before.
  EXPECT_EQ(summarize(Frame("11 03 00 6B 00 03"), &writeRequest).direction, Direction::Request);
  EXPECT_EQ(summarize(Frame("11 86 02"), nullptr).direction, Direction::Response);
  // An eight-byte coil answer looks like a coil request too.
  const FrameSummary coilRead = summarize(Frame("11 01 00 13 00 18"), nullptr);
  EXPECT_EQ(summarize(Frame("11 01 03 CD 6B B2"), &coilRead).direction, Direction::Response);
  EXPECT_EQ(summarize(Frame("11 01 03 CD 6B B2"), nullptr).direction, Direction::Request);
}

TEST(HexDump, SixteenBytesALineWithOffsetsAndCharacters) {
  const Bytes bytes = Hex("01 03 41 42 00 7F 20 7E 02 03 04 05 06 07 08 09 0A 0B 61");
  EXPECT_EQ(HexDump(bytes.data(), static_cast<int>(bytes.size())),
            "0000  01 03 41 42 00 7F 20 7E 02 03 04 05 06 07 08 09  ..AB.. ~........\n"
            "0010  0A 0B 61                                         ..a");
  EXPECT_EQ(HexDump(nullptr, 0), "");
}

}  // namespace
}  // namespace tessaly::modbus::testing
