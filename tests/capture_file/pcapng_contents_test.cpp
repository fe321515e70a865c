// What a capture file carries besides bytes and stamps, read back by this
// program and, where installed, by libpcap's and Wireshark's readers: each
// packet's direction and first byte, a statistics block per interface, the
// system that wrote it; the size an 8-byte request takes; files of older
// writers (the first byte in a comment) and the "modified" pcap variant.
#include "capture_file/capture_file_reader.h"
#include "capture_file/capture_file_writer.h"
#include "capture_file/capture_packet_stream.h"
#include "capture_file/pcapng_blocks.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/utsname.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace tessaly {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Direction = CaptureInterface::Direction;

constexpr PacketTime kNoon = 1'796'731'200'000'000;  // 2026-12-08T12:00:00Z
const Bytes kRequest{0x01, 0x03, 0x00, 0x00, 0x00, 0x02, 0xC4, 0x0B};
const Bytes kAnswer{0x01, 0x03, 0x04, 0x00, 0x2A, 0x00, 0x07, 0x9A, 0x39};

std::string FileBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream data;
  data << file.rdbuf();
  return data.str();
}

// What a command prints on its standard output.
std::string Output(const std::string& command) {
  std::string text;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char chunk[4096];
    std::size_t count = 0;
    while ((count = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) text.append(chunk, count);
    ::pclose(pipe);
  }
  return text;
}

bool Installed(const char* program) {
  return std::system((std::string("command -v ") + program + " >/dev/null 2>&1").c_str()) == 0;
}

class PcapngContentsTest : public testing::Test {
 protected:
  // A tap of two lines, the master's named: two requests on "master", one
  // answer on "slave".
  std::string WriteTap() {
    const std::string path = dir_.filePath("tap.pcapng").toStdString();
    CaptureFileWriter writer(path, CaptureFileFormat::kPcapng, "Tessaly test");
    CaptureInterface master{"/dev/ttyUSB0", "ttyUSB0 9600 8N1", 9600, "master", Direction::kOutbound};
    CaptureInterface slave{"/dev/ttyUSB1", "ttyUSB1 9600 8N1", 9600, "slave", Direction::kInbound};
    const std::uint32_t a = writer.AddInterface(master);
    const std::uint32_t b = writer.AddInterface(slave);
    writer.AddPacket(a, kRequest.data(), 8, {kNoon, kNoon + 7'300, kNoon + 11'300});
    writer.AddPacket(b, kAnswer.data(), 9, {kNoon + 30'000, kNoon + 38'300, kNoon + 42'300});
    writer.AddPacket(a, kRequest.data(), 8, {kNoon + 100'000, kNoon + 107'300, kNoon + 111'300});
    writer.Close();
    return path;
  }
  QTemporaryDir dir_;
};

TEST_F(PcapngContentsTest, DirectionFirstByteStatisticsAndSystem_ReadBack) {
  const std::string path = WriteTap();
  CapturePacketStream stream(path);
  CapturedPacketView packet;
  std::vector<Direction> directions;
  std::vector<PacketTime> firstBytes;
  int commented = 0;
  while (stream.Next(packet)) {
    directions.push_back(packet.direction);
    firstBytes.push_back(packet.firstByte.value_or(-1));
    packet.ForEachComment([&commented](std::string_view) { ++commented; });
  }
  EXPECT_EQ(directions, (std::vector<Direction>{Direction::kOutbound, Direction::kInbound, Direction::kOutbound}));
  EXPECT_EQ(firstBytes, (std::vector<PacketTime>{kNoon, kNoon + 30'000, kNoon + 100'000}));
  EXPECT_EQ(commented, 0) << "no packet is a commented one";
  ASSERT_EQ(stream.Statistics().size(), 2u);
  EXPECT_EQ(stream.Statistics().at(0).packets, 2u);
  EXPECT_EQ(stream.Statistics().at(0).firstMicros, kNoon + 11'300);
  EXPECT_EQ(stream.Statistics().at(0).lastMicros, kNoon + 111'300);
  EXPECT_EQ(stream.Statistics().at(1).packets, 1u);
  EXPECT_EQ(stream.Interfaces().at(1).linkType, stream.Interfaces().at(0).linkType);

  struct utsname names {};
  ASSERT_EQ(::uname(&names), 0);
  const std::string bytes = FileBytes(path);
  EXPECT_NE(bytes.find(std::string(names.sysname) + " " + names.release), std::string::npos) << "shb_os";
  EXPECT_NE(bytes.find(names.machine), std::string::npos) << "shb_hardware";
}

// An 8-byte request: 28 bytes of block header, its 8 bytes, the arrival
// option with the first and last byte (16), the end of the options (4) and
// the trailing length (4).
TEST_F(PcapngContentsTest, AnEightByteRequestTakes60Bytes_The256ByteAnswer308) {
  const std::string path = dir_.filePath("sizes.pcapng").toStdString();
  CaptureFileWriter writer(path, CaptureFileFormat::kPcapng, "Tessaly test");
  const std::uint32_t line = writer.AddInterface({"ttyUSB0", "9600 8N1", 9600});
  std::uint64_t before = writer.Size();
  writer.AddPacket(line, kRequest.data(), 8, {kNoon, kNoon + 7'300, kNoon + 11'300});
  EXPECT_EQ(writer.Size() - before, 60u);
  const Bytes large(256, 0x55);
  before = writer.Size();
  writer.AddPacket(line, large.data(), 256, {kNoon + 20'000, kNoon + 286'000, kNoon + 290'000});
  EXPECT_EQ(writer.Size() - before, 308u);
  writer.Close();
}

// Files written before the option kept the first byte in a comment; a time
// the option cannot hold is kept that way still.
TEST_F(PcapngContentsTest, FirstByteInACommentStillRead_AndWrittenWhereTheOptionCannotHoldIt) {
  std::string bytes;
  pcapng::AppendSectionHeader(bytes, "older writer");
  pcapng::AppendInterface(bytes, {"ttyUSB0", "9600 8N1", 9600});
  pcapng::AppendPacket(bytes, 0, kNoon + 11'300, kRequest.data(), 8, {FirstByteComment(kNoon)});
  pcapng::AppendPacket(bytes, 0, kNoon, kRequest.data(), 8, {}, kNoon + 5'000);  // first byte after the end
  CapturePacketStream stream(bytes, "older");
  CapturedPacketView packet;
  ASSERT_TRUE(stream.Next(packet));
  EXPECT_EQ(packet.firstByte, kNoon);
  ASSERT_TRUE(stream.Next(packet));
  EXPECT_EQ(packet.firstByte, kNoon + 5'000);
}

// editcap -F modpcap: a classic pcap with the magic a1b2cd34 and 24-byte
// record headers.
TEST_F(PcapngContentsTest, ModifiedPcapVariant_Opened) {
  std::string bytes;
  pcap::AppendFileHeader(bytes);
  bytes[0] = '\x34';  // a1b2cd34, little-endian
  bytes[1] = '\xCD';
  for (int i = 0; i < 2; ++i) {
    std::string record;
    pcap::AppendRecord(record, kNoon + i * 1'000'000, kAnswer.data(), 9);
    // ifindex, protocol, packet type and a pad byte after the 16 bytes.
    record.insert(16, std::string("\x02\x00\x00\x00\x00\x08\x04\x00", 8));
    bytes += record;
  }
  const std::string path = dir_.filePath("modified.pcap").toStdString();
  std::ofstream(path, std::ios::binary) << bytes;
  const CaptureFileContents contents = ReadCaptureFile(path);
  ASSERT_EQ(contents.packets.size(), 2u);
  EXPECT_EQ(contents.packets[1].bytes, kAnswer);
  EXPECT_EQ(contents.packets[1].stamp, kNoon + 1'000'000);
  EXPECT_FALSE(contents.torn);
  if (Installed("editcap")) {
    // The same as the tool that names the variant writes it.
    const std::string plain = dir_.filePath("plain.pcap").toStdString();
    const std::string converted = dir_.filePath("converted.pcap").toStdString();
    std::string classic;
    pcap::AppendFileHeader(classic);
    pcap::AppendRecord(classic, kNoon, kAnswer.data(), 9);
    std::ofstream(plain, std::ios::binary) << classic;
    ASSERT_EQ(std::system(("editcap -F modpcap '" + plain + "' '" + converted + "' 2>/dev/null").c_str()), 0);
    const CaptureFileContents fromTool = ReadCaptureFile(converted);
    ASSERT_EQ(fromTool.packets.size(), 1u);
    EXPECT_EQ(fromTool.packets[0].bytes, kAnswer);
  }
}

// libpcap reads every interface of a two-line file, for which they must
// share one link type and snapshot length.
TEST_F(PcapngContentsTest, LibpcapReadsATwoLineFile_WhenInstalled) {
  if (!Installed("tcpdump")) GTEST_SKIP() << "tcpdump is not installed";
  const std::string path = WriteTap();
  // One line a packet, each beginning with its stamp in seconds.
  const std::string lines = Output("tcpdump -tt -r '" + path + "' 2>/dev/null | grep -c '^1796731200'");
  EXPECT_EQ(std::stoi(lines.empty() ? "0" : lines), 3) << Output("tcpdump -tt -r '" + path + "' 2>&1");
}

// Wireshark's reader finds the direction, the statistics and no comments.
TEST_F(PcapngContentsTest, WiresharkReadsDirectionAndStatistics_WhenInstalled) {
  if (!Installed("tshark")) GTEST_SKIP() << "tshark is not installed";
  const std::string path = WriteTap();
  const std::string fields =
      Output("tshark -r '" + path + "' -T fields -e frame.interface_id -e pkt_comment -e frame.p2p_dir 2>/dev/null");
  EXPECT_EQ(fields, "0\t\t0\n1\t\t1\n0\t\t0\n") << fields;
  if (Installed("capinfos")) {
    const std::string info = Output("capinfos -M '" + path + "' 2>/dev/null");
    EXPECT_NE(info.find("Number of packets:   3"), std::string::npos) << info;
    EXPECT_NE(info.find("Number of interfaces in file: 2"), std::string::npos) << info;
  }
}

}  // namespace
}  // namespace tessaly
