// Capture files written as a capture runs and read back: what a reader
// finds, a file cut anywhere in its last block, a disk that fills, and the
// same file through Wireshark's own reader when it is installed.
#include "capture_file/capture_file_reader.h"
#include "capture_file/capture_file_writer.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace tessaly {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr PacketTime kNoon = 1'796'731'200'000'000;  // 2026-12-08T12:00:00Z

std::string FileBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream data;
  data << file.rdbuf();
  return data.str();
}

const CaptureInterface kSerialLine{"/dev/ttyUSB0", "ttyUSB0 9600 8N1, packets end after 4 ms of silence", 9600};
const Bytes kRequest{0x01, 0x03, 0x00, 0x00, 0x00, 0x02, 0xC4, 0x0B};
const Bytes kAnswer{0x01, 0x03, 0x04, 0x00, 0x2A, 0x00, 0x07, 0x9A, 0x39};

// Three packets (the middle one empty, which a framer can emit) and a gap
// noted before the last and after it.
void WriteSample(const std::string& path, CaptureFileFormat format) {
  CaptureFileWriter writer(path, format, "Tessaly test");
  const std::uint32_t line = writer.AddInterface(kSerialLine);
  writer.AddPacket(line, kRequest.data(), 8, {kNoon, kNoon + 8'000, kNoon + 12'000});
  writer.AddPacket(line, nullptr, 0, {kNoon + 50'000, kNoon + 50'000, kNoon + 50'000});
  writer.AddComment("gap: port lost");
  writer.AddPacket(line, kAnswer.data(), 9, {kNoon + 1'000'001, kNoon + 1'009'000, kNoon + 1'013'000});
  writer.AddComment("stopped");
  writer.Close();
}

class CaptureFileTest : public testing::Test {
 protected:
  std::string PathOf(const char* name) const { return dir_.filePath(name).toStdString(); }
  QTemporaryDir dir_;
};

TEST_F(CaptureFileTest, Pcapng_ReadsBackLinkPacketsStampsAndComments) {
  const std::string path = PathOf("a.pcapng");
  WriteSample(path, CaptureFileFormat::kPcapng);
  const CaptureFileContents contents = ReadCaptureFile(path);
  EXPECT_EQ(contents.format, CaptureFileFormat::kPcapng);
  EXPECT_FALSE(contents.torn);
  ASSERT_EQ(contents.interfaces.size(), 1u);
  EXPECT_EQ(contents.interfaces[0].linkType, 147);
  EXPECT_EQ(contents.interfaces[0].link.name, kSerialLine.name);
  EXPECT_EQ(contents.interfaces[0].link.description, kSerialLine.description);
  EXPECT_EQ(contents.interfaces[0].link.bitsPerSecond, 9600u);
  ASSERT_EQ(contents.packets.size(), 3u);
  EXPECT_EQ(contents.packets[0].bytes, kRequest);
  EXPECT_EQ(contents.packets[0].stamp, kNoon + 12'000) << "stamped with the packet's end, as the grid";
  EXPECT_EQ(contents.packets[0].firstByte, kNoon);
  EXPECT_EQ(contents.packets[0].lastByte, kNoon + 8'000);
  EXPECT_TRUE(contents.packets[0].comments.empty()) << "the first and last byte in an option of their own";
  EXPECT_TRUE(contents.packets[1].bytes.empty());
  EXPECT_FALSE(contents.packets[1].firstByte.has_value()) << "an empty packet has no first byte";
  EXPECT_EQ(contents.packets[2].bytes, kAnswer);
  EXPECT_EQ(contents.packets[2].firstByte, kNoon + 1'000'001);
  EXPECT_EQ(contents.packets[2].comments.back(), "gap: port lost") << "a gap is told with the packet after it";
  EXPECT_EQ(contents.comments, std::vector<std::string>{"stopped"}) << "a note with no packet after it";
}

TEST_F(CaptureFileTest, Pcap_KeepsBytesAndEndStamps) {
  const std::string path = PathOf("a.pcap");
  WriteSample(path, CaptureFileFormat::kPcap);
  const CaptureFileContents contents = ReadCaptureFile(path);
  EXPECT_EQ(contents.format, CaptureFileFormat::kPcap);
  ASSERT_EQ(contents.interfaces.size(), 1u);
  EXPECT_EQ(contents.interfaces[0].linkType, 147);
  ASSERT_EQ(contents.packets.size(), 3u);
  EXPECT_EQ(contents.packets[2].bytes, kAnswer);
  EXPECT_EQ(contents.packets[2].stamp, kNoon + 1'013'000);
  EXPECT_TRUE(contents.comments.empty());
}

// A file cut at any byte of its last block (a writer killed, a file read
// while written) reads up to that block; cut at a block's end it is whole.
TEST_F(CaptureFileTest, CutAnywhereInItsLastBlock_ReadsEverythingBefore) {
  for (const CaptureFileFormat format : {CaptureFileFormat::kPcapng, CaptureFileFormat::kPcap}) {
    const std::string path = PathOf("cut");
    {
      CaptureFileWriter writer(path, format, "Tessaly test");
      const std::uint32_t line = writer.AddInterface(kSerialLine);
      writer.AddPacket(line, kRequest.data(), 8, {kNoon, kNoon, kNoon});
      writer.Flush();
      const std::uint64_t before = writer.Size();
      writer.AddPacket(line, kAnswer.data(), 9, {kNoon + 1, kNoon + 1, kNoon + 2});
      const std::uint64_t afterAnswer = writer.Size();
      writer.Close();
      const std::string whole = FileBytes(path);
      for (std::size_t cut = before; cut < afterAnswer; ++cut) {
        SCOPED_TRACE(cut);
        const CaptureFileContents contents = ParseCaptureFile(std::string_view(whole).substr(0, cut), path);
        ASSERT_EQ(contents.packets.size(), 1u);
        EXPECT_EQ(contents.packets[0].bytes, kRequest);
        EXPECT_EQ(contents.torn, cut != before);
      }
    }
  }
}

// An owner kept busy by a flood flushes late: the batch goes out by itself
// once it is large, so memory stays bounded and the file keeps up.
TEST_F(CaptureFileTest, ALargeBatch_ReachesTheFileWithoutAFlush) {
  const std::string path = PathOf("flood.pcapng");
  CaptureFileWriter writer(path, CaptureFileFormat::kPcapng, "Tessaly test");
  writer.AddInterface(kSerialLine);
  const Bytes full(1024, 0x55);
  while (writer.Size() < CaptureFileWriter::kBatchBytes) writer.AddPacket(0, full.data(), 1024, {kNoon, kNoon, kNoon});
  EXPECT_EQ(FileBytes(path).size(), writer.Size());
  EXPECT_EQ(ParseCaptureFile(FileBytes(path), path).packets.size(), writer.Packets());
}

TEST_F(CaptureFileTest, NotACaptureFile_SaysSoWithItsName) {
  const std::string path = PathOf("notes.txt");
  std::ofstream(path) << "not a capture at all, just some words";
  try {
    ReadCaptureFile(path);
    FAIL() << "read a text file as a capture";
  } catch (const CaptureFileError& error) {
    EXPECT_EQ(std::string(error.what()), "Cannot read the capture " + path + ": it is not a pcapng or pcap file");
  }
}

TEST_F(CaptureFileTest, DiskFull_OneMessageNamingFileAndCause_NothingWrittenAfter) {
  CaptureFileWriter writer("/dev/full", CaptureFileFormat::kPcapng, "Tessaly test");
  writer.AddInterface(kSerialLine);
  writer.AddPacket(0, kRequest.data(), 8, {kNoon, kNoon, kNoon});
  try {
    writer.Flush();
    FAIL() << "a full disk went unnoticed";
  } catch (const CaptureFileError& error) {
    EXPECT_EQ(std::string(error.what()), "Cannot write the capture to /dev/full: No space left on device");
  }
  EXPECT_TRUE(writer.Failed());
  EXPECT_THROW(writer.Close(), CaptureFileError);
}

// A file that may grow no further stops in the middle of a write: it is cut
// back to its last whole block and reads to its end.
TEST_F(CaptureFileTest, FileSizeLimitMidWrite_FileCutBackToItsLastWholeBlock) {
  const std::string path = PathOf("limited.pcapng");
  const auto previous = std::signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  rlimit limited = saved;
  limited.rlim_cur = 1000;
  setrlimit(RLIMIT_FSIZE, &limited);
  std::string failure;
  std::uint64_t packets = 0;
  {
    CaptureFileWriter writer(path, CaptureFileFormat::kPcapng, "Tessaly test");
    writer.AddInterface(kSerialLine);
    try {
      for (int i = 0; i < 100; ++i) {
        writer.AddPacket(0, kAnswer.data(), 9, {kNoon + i, kNoon + i, kNoon + i});
        if (i % 7 == 6) writer.Flush();
        packets = writer.Packets();
      }
      writer.Close();
    } catch (const CaptureFileError& error) {
      failure = error.what();
    }
  }
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);
  EXPECT_EQ(failure, "Cannot write the capture to " + path + ": File too large");
  const CaptureFileContents contents = ReadCaptureFile(path);
  EXPECT_FALSE(contents.torn);
  EXPECT_GT(contents.packets.size(), 0u);
  EXPECT_LE(contents.packets.size(), packets);
  EXPECT_LE(FileBytes(path).size(), 1000u);
}

// Wireshark's reader, when installed, finds the same packets and link type.
TEST_F(CaptureFileTest, WiresharkReadsIt_WhenInstalled) {
  if (std::system("command -v tshark >/dev/null 2>&1") != 0) GTEST_SKIP() << "tshark is not installed";
  for (const char* name : {"w.pcapng", "w.pcap"}) {
    const std::string path = PathOf(name);
    WriteSample(path, std::string(name).ends_with(".pcap") ? CaptureFileFormat::kPcap : CaptureFileFormat::kPcapng);
    const std::string command = "tshark -r '" + path + "' -T fields -e frame.len -e frame.time_epoch 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char chunk[256];
    while (std::fgets(chunk, sizeof chunk, pipe) != nullptr) output += chunk;
    EXPECT_EQ(pclose(pipe), 0) << output;
    EXPECT_EQ(output,
              "8\t1796731200.012000000\n"
              "0\t1796731200.050000000\n"
              "9\t1796731201.013000000\n")
        << name;
  }
}

}  // namespace
}  // namespace tessaly
