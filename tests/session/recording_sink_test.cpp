// A capture of two lines recorded as it comes: one interface per line in
// the file, each packet on its own line's interface, and the log told each
// packet's line.
#include "session/recording_sink.h"

#include "capture_file/capture_file_reader.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tessaly {
namespace {

struct LineLog : PacketSink {
  void AppendPacket(const std::uint8_t*, int, PacketTime) override { lines.push_back(0); }
  void AppendLinePacket(int line, const std::uint8_t*, int, const PacketTiming&) override { lines.push_back(line); }
  std::vector<int> lines;
};

LineDescription SerialLine(const char* where, int bitsPerSecond, const char* name) {
  LineDescription line;
  line.name = QString::fromUtf8(name);
  line.where = QString::fromLatin1(where);
  line.bitsPerSecond = bitsPerSecond;
  return line;
}

TEST(RecordingSinkTest, TwoLines_OneInterfaceEach_EachPacketOnItsLine) {
  QTemporaryDir folder;
  const std::string path = folder.filePath(QStringLiteral("two.pcapng")).toStdString();
  LineLog log;
  std::vector<int> lines;
  {
    RecordingSink sink(log, [&](PacketTime, const LineDescription&) { return path; });
    sink.SetLineSource([] { return SerialLine("/dev/ttyS0", 9600, "master"); });
    sink.SetLineSource(1, [] { return SerialLine("/dev/ttyS1", 19200, "slave"); });
    sink.BeginCapture();
    const std::uint8_t bytes[] = {0x01, 0x03};
    PacketTime at = 1'000'000;
    // The second line speaks first: interfaces are made as lines first speak.
    for (const int line : {1, 0, 1, 0, 1}) {
      at += 1000;
      sink.AppendLinePacket(line, bytes, line + 1, PacketTiming{at - 500, at - 400, at});
      lines.push_back(line);
    }
    sink.EndCapture();
  }
  // The first line's packets reach the log as a capture of one line's do.
  EXPECT_EQ(log.lines, lines);

  const CaptureFileContents file = ReadCaptureFile(path);
  ASSERT_EQ(file.interfaces.size(), 2u);
  EXPECT_EQ(file.interfaces[0].link.name, "/dev/ttyS1");
  EXPECT_EQ(file.interfaces[0].link.lineName, "slave");
  EXPECT_EQ(file.interfaces[0].link.bitsPerSecond, 19200u);
  EXPECT_EQ(file.interfaces[1].link.name, "/dev/ttyS0");
  EXPECT_EQ(file.interfaces[1].link.lineName, "master");
  ASSERT_EQ(file.packets.size(), lines.size());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::uint32_t expected = lines[i] == 1 ? 0 : 1;
    EXPECT_EQ(file.packets[i].interfaceId, expected) << i;
    EXPECT_EQ(file.packets[i].bytes.size(), static_cast<std::size_t>(lines[i] + 1)) << i;
  }
}

}  // namespace
}  // namespace tessaly
