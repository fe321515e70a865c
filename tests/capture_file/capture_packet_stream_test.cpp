// Long capture files read packet by packet: packets that straddle the
// reader's buffer, files written in the other byte order, a block damaged
// far into a file, and the first-byte note read back by hand.
#include "capture_file/capture_file_reader.h"
#include "capture_file/capture_file_writer.h"
#include "capture_file/capture_packet_stream.h"
#include "capture_file/pcapng_blocks.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace tessaly {
namespace {

constexpr PacketTime kNoon = 1'796'731'200'000'000;  // 2026-12-08T12:00:00Z
const CaptureInterface kLine{"/dev/ttyUSB0", "ttyUSB0 19200 8E1, packets end after 2 ms of silence", 19200};

struct Written {
  std::uint32_t interfaceId;
  PacketTime ended;
  PacketTime firstByte;
  std::string bytes;
  // The writer notes no first byte for an empty packet.
  std::optional<PacketTime> FirstByteNoted() const {
    return bytes.empty() ? std::nullopt : std::optional<PacketTime>(firstByte);
  }
};

std::string FileBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream data;
  data << file.rdbuf();
  return data.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Packets of every length from 0 to 300 bytes on two lines, about three of
// the reader's buffers long, so packets fall across each buffer's end.
std::vector<Written> WriteLong(const std::string& path, CaptureFileFormat format) {
  std::vector<Written> packets;
  CaptureFileWriter writer(path, format, "Tessaly test");
  const std::uint32_t first = writer.AddInterface(kLine);
  const std::uint32_t second = format == CaptureFileFormat::kPcapng ? writer.AddInterface({"gw", "TCP gw", {}}) : first;
  std::size_t total = 0;
  for (int i = 0; total < 3'300'000; ++i) {
    Written packet{i % 3 == 2 ? second : first, kNoon + i * 1'000'003LL, kNoon + i * 1'000'003LL - 700 - i % 50, {}};
    for (int b = 0; b < i % 301; ++b) packet.bytes.push_back(static_cast<char>(i * 7 + b));
    writer.AddPacket(packet.interfaceId, reinterpret_cast<const std::uint8_t*>(packet.bytes.data()),
                     static_cast<int>(packet.bytes.size()), {packet.firstByte, packet.ended, packet.ended});
    total += packet.bytes.size() + 80;
    packets.push_back(std::move(packet));
  }
  writer.Close();
  return packets;
}

void Swap32(std::string& bytes, std::size_t at) { std::reverse(bytes.begin() + at, bytes.begin() + at + 4); }
void Swap16(std::string& bytes, std::size_t at) { std::reverse(bytes.begin() + at, bytes.begin() + at + 2); }

std::uint32_t Little32(const std::string& bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

// The same pcapng file as a big-endian machine writes it. Knows the blocks
// and options the writer writes.
std::string BigEndianPcapng(std::string bytes) {
  std::size_t at = 0;
  while (at < bytes.size()) {
    const std::uint32_t type = Little32(bytes, at);
    const std::uint32_t length = Little32(bytes, at + 4);
    std::size_t options = at + 8;
    if (type == pcapng::kSectionHeader) {
      Swap32(bytes, at + 8);
      Swap16(bytes, at + 12);
      Swap16(bytes, at + 14);
      std::reverse(bytes.begin() + at + 16, bytes.begin() + at + 24);
      options = at + 24;
    } else if (type == pcapng::kInterfaceDescription) {
      Swap16(bytes, at + 8);
      Swap32(bytes, at + 12);
      options = at + 16;
    } else if (type == pcapng::kEnhancedPacket) {
      options = at + 28 + ((Little32(bytes, at + 20) + 3) & ~3u);
      for (int field = 0; field < 5; ++field) Swap32(bytes, at + 8 + 4 * field);
    } else if (type == pcapng::kInterfaceStatistics) {
      for (int field = 0; field < 3; ++field) Swap32(bytes, at + 8 + 4 * field);
      options = at + 20;
    }
    while (options + 4 <= at + length - 4) {
      const std::uint16_t code = static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[options]) |
                                                            static_cast<unsigned char>(bytes[options + 1]) << 8);
      const std::uint16_t size = static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[options + 2]) |
                                                            static_cast<unsigned char>(bytes[options + 3]) << 8);
      Swap16(bytes, options);
      Swap16(bytes, options + 2);
      if (code == 0) break;
      if (type == pcapng::kInterfaceDescription && code == pcapng::kIfSpeed) {
        std::reverse(bytes.begin() + options + 4, bytes.begin() + options + 12);
      }
      if (type == pcapng::kInterfaceStatistics && (code == 2 || code == pcapng::kIsbEndTime)) {
        Swap32(bytes, options + 4);
        Swap32(bytes, options + 8);
      }
      if (type == pcapng::kInterfaceStatistics && code == pcapng::kIsbIfRecv) {
        std::reverse(bytes.begin() + options + 4, bytes.begin() + options + 12);
      }
      if (type == pcapng::kEnhancedPacket && code == pcapng::kEpbFlags) Swap32(bytes, options + 4);
      if (type == pcapng::kEnhancedPacket && code == pcapng::kCustomBinaryCopyable) {
        Swap32(bytes, options + 4);  // the enterprise number
        Swap32(bytes, options + 8);  // the first byte's offset
      }
      options += 4 + ((size + 3u) & ~3u);
    }
    Swap32(bytes, at);
    Swap32(bytes, at + 4);
    Swap32(bytes, at + length - 4);
    at += length;
  }
  return bytes;
}

std::string BigEndianPcap(std::string bytes) {
  Swap32(bytes, 0);
  Swap16(bytes, 4);
  Swap16(bytes, 6);
  for (int field = 2; field < 6; ++field) Swap32(bytes, 4 * field);
  std::size_t at = pcap::kHeaderSize;
  while (at < bytes.size()) {
    const std::uint32_t captured = Little32(bytes, at + 8);
    for (int field = 0; field < 4; ++field) Swap32(bytes, at + 4 * field);
    at += pcap::kRecordHeaderSize + captured;
  }
  return bytes;
}

class CapturePacketStreamTest : public testing::Test {
 protected:
  std::string PathOf(const char* name) const { return dir_.filePath(name).toStdString(); }

  // Every packet read equals the one written, none more, none less.
  static void ExpectSame(CapturePacketStream& stream, const std::vector<Written>& written, bool pcap) {
    CapturedPacketView packet;
    std::size_t count = 0;
    while (stream.Next(packet)) {
      ASSERT_LT(count, written.size());
      const Written& expected = written[count];
      ASSERT_EQ(packet.bytes, expected.bytes) << "packet " << count;
      ASSERT_EQ(packet.stamp, expected.ended) << "packet " << count;
      if (!pcap) {
        ASSERT_EQ(packet.interfaceId, expected.interfaceId) << "packet " << count;
        ASSERT_EQ(packet.firstByte, expected.FirstByteNoted()) << "packet " << count;
      }
      ++count;
    }
    EXPECT_EQ(count, written.size());
    EXPECT_FALSE(stream.Torn());
    EXPECT_EQ(stream.Offset(), stream.Size());
  }

  QTemporaryDir dir_;
};

TEST_F(CapturePacketStreamTest, LongFile_EveryPacketAcrossTheBufferEnds_InEitherByteOrder) {
  const std::string path = PathOf("long.pcapng");
  const std::vector<Written> written = WriteLong(path, CaptureFileFormat::kPcapng);
  const std::string little = FileBytes(path);
  ASSERT_GT(little.size(), 2'500'000u);
  {
    CapturePacketStream stream(path);
    ExpectSame(stream, written, false);
    ASSERT_EQ(stream.Interfaces().size(), 2u);
    EXPECT_EQ(stream.Interfaces()[0].link.bitsPerSecond, 19200u);
  }
  const std::string bigPath = PathOf("big.pcapng");
  WriteFile(bigPath, BigEndianPcapng(little));
  ASSERT_NE(FileBytes(bigPath), little);
  {
    CapturePacketStream stream(bigPath);
    ExpectSame(stream, written, false);
    ASSERT_EQ(stream.Interfaces().size(), 2u);
    EXPECT_EQ(stream.Interfaces()[0].link.bitsPerSecond, 19200u);
    EXPECT_EQ(stream.Interfaces()[0].link.description, kLine.description);
    EXPECT_EQ(stream.Interfaces()[0].linkType, kCaptureLinkType);
  }
  // From bytes in memory, as from the file.
  const std::string big = FileBytes(bigPath);
  CapturePacketStream inMemory(big, "memory");
  ExpectSame(inMemory, written, false);
}

TEST_F(CapturePacketStreamTest, LongClassicPcap_InEitherByteOrder) {
  const std::string path = PathOf("long.pcap");
  const std::vector<Written> written = WriteLong(path, CaptureFileFormat::kPcap);
  {
    CapturePacketStream stream(path);
    ExpectSame(stream, written, true);
  }
  const std::string bigPath = PathOf("big.pcap");
  WriteFile(bigPath, BigEndianPcap(FileBytes(path)));
  CapturePacketStream stream(bigPath);
  ExpectSame(stream, written, true);
  EXPECT_EQ(stream.Interfaces().at(0).linkType, kCaptureLinkType);
}

// A block far into the file that lies about its length: the packets before
// it are read, then one message names the file and the block's offset.
TEST_F(CapturePacketStreamTest, DamagedBlockFarIn_PacketsBeforeIt_ThenTheFault) {
  const std::string path = PathOf("damaged.pcapng");
  const std::vector<Written> written = WriteLong(path, CaptureFileFormat::kPcapng);
  std::string bytes = FileBytes(path);
  // Find the block of packet 5000 and spoil its trailing length.
  std::size_t at = 0;
  std::size_t packets = 0;
  while (packets < 6000 || Little32(bytes, at) != pcapng::kEnhancedPacket) {
    if (Little32(bytes, at) == pcapng::kEnhancedPacket) ++packets;
    at += Little32(bytes, at + 4);
  }
  ASSERT_GT(at, 1u << 20) << "beyond the first buffer";
  bytes[at + Little32(bytes, at + 4) - 4] ^= 0x40;
  WriteFile(path, bytes);
  CapturePacketStream stream(path);
  CapturedPacketView packet;
  std::size_t read = 0;
  try {
    while (stream.Next(packet)) {
      ASSERT_EQ(packet.bytes, written[read].bytes);
      ++read;
    }
    FAIL() << "the damaged block went unnoticed";
  } catch (const CaptureFileError& error) {
    EXPECT_EQ(std::string(error.what()), "Cannot read the capture " + path + ": a block at offset " +
                                             std::to_string(at) + " has different lengths at its ends");
  }
  EXPECT_EQ(read, 6000u);
}

// A block longer than the reader's buffer is read whole; one longer than it
// ever buffers is stepped over when of a kind it does not read, and refused
// by name when it is a packet's.
TEST_F(CapturePacketStreamTest, LongAndHugeBlocks_ReadSkippedOrRefused) {
  std::string bytes;
  pcapng::AppendSectionHeader(bytes, "test");
  pcapng::AppendInterface(bytes, kLine);
  const std::uint8_t frame[] = {1, 3, 0, 0};
  const auto huge = [](std::uint32_t type, std::size_t size = 20u << 20) {
    std::string block(size, '\0');
    const std::uint32_t length = static_cast<std::uint32_t>(block.size());
    for (int i = 0; i < 4; ++i) {
      block[i] = static_cast<char>(type >> (8 * i));
      block[4 + i] = static_cast<char>(length >> (8 * i));
      block[length - 4 + i] = static_cast<char>(length >> (8 * i));
    }
    return block;
  };
  bytes += huge(0x0BAD, 3u << 20);
  bytes += huge(0x0BAD);
  pcapng::AppendPacket(bytes, 0, kNoon, frame, 4, {});
  const std::size_t packetBlock = bytes.size();
  bytes += huge(pcapng::kEnhancedPacket);
  const std::string path = PathOf("huge.pcapng");
  WriteFile(path, bytes);
  CapturePacketStream stream(path);
  CapturedPacketView packet;
  ASSERT_TRUE(stream.Next(packet));
  EXPECT_EQ(packet.bytes, std::string("\x01\x03\x00\x00", 4));
  try {
    stream.Next(packet);
    FAIL() << "a 20 MB packet block went unnoticed";
  } catch (const CaptureFileError& error) {
    EXPECT_EQ(std::string(error.what()), "Cannot read the capture " + path + ": a block at offset " +
                                             std::to_string(packetBlock) + " is too long to read (20971520 bytes)");
  }
}

// Two files run together make a file of two sections, each numbering its
// interfaces from 0: the second section's packets are on its own lines.
TEST_F(CapturePacketStreamTest, SecondSection_PacketsOnItsOwnLines) {
  std::string bytes;
  const std::uint8_t frame[] = {1, 3, 0, 0};
  pcapng::AppendSectionHeader(bytes, "first");
  pcapng::AppendInterface(bytes, kLine);
  pcapng::AppendPacket(bytes, 0, kNoon, frame, 4, {});
  pcapng::AppendSectionHeader(bytes, "second");
  pcapng::AppendInterface(bytes, {"ttyS9", "ttyS9 1200 8N1, packets end after 40 ms of silence", 1200});
  pcapng::AppendPacket(bytes, 0, kNoon + 1, frame, 4, {});
  CapturePacketStream stream(bytes, "sections");
  CapturedPacketView packet;
  ASSERT_TRUE(stream.Next(packet));
  EXPECT_EQ(packet.interfaceId, 0u);
  ASSERT_TRUE(stream.Next(packet));
  EXPECT_EQ(packet.interfaceId, 1u);
  ASSERT_EQ(stream.Interfaces().size(), 2u);
  EXPECT_EQ(stream.Interfaces()[1].link.name, "ttyS9");
  EXPECT_FALSE(stream.Next(packet));
}

TEST_F(CapturePacketStreamTest, CountedWithoutKeeping_PacketsAndSpan) {
  const std::string path = PathOf("count.pcapng");
  const std::vector<Written> written = WriteLong(path, CaptureFileFormat::kPcapng);
  // Cut in the last packet's block, as a crash leaves it (before the
  // statistics blocks a clean close writes after it).
  std::string bytes = FileBytes(path);
  while (Little32(bytes, bytes.size() - Little32(bytes, bytes.size() - 4)) == pcapng::kInterfaceStatistics) {
    bytes.resize(bytes.size() - Little32(bytes, bytes.size() - 4));
  }
  WriteFile(path, bytes.substr(0, bytes.size() - 10));
  CapturePacketStream stream(path);
  const CaptureSpan span = CountCapture(stream);
  EXPECT_EQ(span.packets, written.size() - 1);
  EXPECT_EQ(span.start, written.front().FirstByteNoted().value_or(written.front().ended));
  EXPECT_EQ(span.end, written[written.size() - 2].ended);
  EXPECT_TRUE(stream.Torn());
}

TEST(FirstByteCommentTest, ReadsBackWhatIsWritten_RefusesOtherText) {
  for (const PacketTime at : {PacketTime{0}, kNoon + 123'456, PacketTime{951'782'400'000'001} /* 2000-02-29 */,
                              PacketTime{4'107'542'399'999'999} /* 2100-02-28T23:59:59 */}) {
    EXPECT_EQ(ParseFirstByteComment(FirstByteComment(at)), at) << FirstByteComment(at);
    EXPECT_EQ(ParseLastByteComment(LastByteComment(at)), at) << LastByteComment(at);
    // Each is told from the other.
    EXPECT_EQ(ParseFirstByteComment(LastByteComment(at)), std::nullopt);
    EXPECT_EQ(ParseLastByteComment(FirstByteComment(at)), std::nullopt);
  }
  for (const char* other : {"first byte 2026-12-08T12:00:00.123456", "first byte 2026-12-08 12:00:00.123456Z",
                            "first byte 2026-13-08T12:00:00.123456Z", "first byte 2026-12-08T12:00:00.12345xZ",
                            "gap: port lost", ""}) {
    EXPECT_EQ(ParseFirstByteComment(other), std::nullopt) << other;
  }
}

}  // namespace
}  // namespace tessaly
