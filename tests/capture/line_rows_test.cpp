// A log of two lines: each row keeps its line, the names show beside the
// grid and in saved text and CSV only while the log names two lines, and a
// log of one line is exactly what it always was.
#include "views/line_name_strip.h"
#include "log/log_packets.h"
#include "modbus/crc16.h"
#include "log/log_export.h"
#include "log/packet_log_model.h"
#include "views/packet_log_view.h"
#include "log/packet_store.h"
#include "capture_file/capture_file_reader.h"

#include <QFile>
#include <QTemporaryDir>

#include <QApplication>
#include <QBrush>
#include <QTest>

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

namespace tessaly {
namespace {

using Bytes = std::vector<std::uint8_t>;

QByteArray Written(const PacketStore& store, LogFileFormat format, std::vector<QString> names,
                   const LogMarks& marks = {}) {
  LogWriter writer(store.TakeSnapshot(), format);
  writer.SetLineNames(std::move(names));
  writer.SetMarks(marks);
  QByteArray out;
  while (writer.WriteNext(out)) {
  }
  return out;
}

TEST(LineRowsTest, StoreKeepsEachPacketsLine_AcrossChunks_AndRefusesALineItCannotName) {
  PacketStore store;
  const Bytes big(1000, 0xAB);
  // Enough bytes for many chunks: a line in the chunk index's top byte must
  // not disturb which chunk the bytes are in.
  for (int n = 0; n < 300; ++n) {
    const int line = n % 3 == 0 ? 255 : n % 2;
    store.Append(PacketTime{n}, big.data(), static_cast<int>(big.size()), std::nullopt, std::nullopt, line);
  }
  for (int n = 0; n < 300; ++n) {
    const PacketStore::Packet packet = store.At(n);
    ASSERT_EQ(packet.line, n % 3 == 0 ? 255 : n % 2) << n;
    ASSERT_EQ(packet.count, 1000);
    ASSERT_EQ(packet.bytes[999], 0xAB);
    ASSERT_EQ(packet.time, n);
  }
  // Plain appends are the first line.
  store.Append(7, big.data(), 3);
  EXPECT_EQ(store.At(300).line, 0);

  EXPECT_THROW(store.Append(8, big.data(), 3, std::nullopt, std::nullopt, 256), std::invalid_argument);
  EXPECT_THROW(store.Append(8, big.data(), 3, std::nullopt, std::nullopt, -1), std::invalid_argument);
  EXPECT_EQ(store.Size(), 301) << "a refused line stores nothing";
}

TEST(LineRowsTest, SavedTextAndCsvNameEachRowsLine_OnlyWithTwoNames) {
  PacketStore store;
  const Bytes request{0x01, 0x03};
  store.Append(1'000'000, request.data(), 2, std::nullopt, std::nullopt, 0);
  store.Append(2'000'000, request.data(), 2, std::nullopt, std::nullopt, 1);
  store.Append(3'000'000, nullptr, 0, std::nullopt, std::nullopt, 0);
  LogMarks marks;
  marks[2] = QStringLiteral("note");

  const QByteArray oneLineText = Written(store, LogFileFormat::kText, {});
  const QByteArray oneLineCsv = Written(store, LogFileFormat::kCsv, {QStringLiteral("only")});
  EXPECT_FALSE(oneLineText.contains("A\t"));
  EXPECT_TRUE(oneLineCsv.startsWith("Date and time,Time,Bytes,Data\r\n")) << "one name is one line";

  const QStringList text =
      QString::fromUtf8(Written(store, LogFileFormat::kText, {"master", "sla\tve"}, marks)).split('\n');
  ASSERT_GE(text.size(), 3);
  EXPECT_TRUE(text[0].startsWith("master\t")) << text[0].toStdString();
  EXPECT_TRUE(text[0].endsWith("\t01 03 ")) << text[0].toStdString();
  EXPECT_TRUE(text[1].startsWith("sla ve\t")) << "a tab in a name never shifts the cells";
  EXPECT_TRUE(text[2].startsWith("\t")) << "a note has no line: " << text[2].toStdString();
  EXPECT_EQ(text[0].count('\t'), 2);
  EXPECT_EQ(text[2].count('\t'), 2);

  const QStringList csv =
      QString::fromUtf8(Written(store, LogFileFormat::kCsv, {"A", "B, the \"slave\""})).split("\r\n");
  EXPECT_EQ(csv[0], "Line,Date and time,Time,Bytes,Data");
  EXPECT_TRUE(csv[1].startsWith("A,")) << csv[1].toStdString();
  EXPECT_TRUE(csv[2].startsWith("\"B, the \"\"slave\"\"\",")) << csv[2].toStdString();
  EXPECT_TRUE(csv[2].endsWith(",2,01 03")) << csv[2].toStdString();

  // Copying bytes only stays bytes only.
  EXPECT_EQ(Written(store, LogFileFormat::kBytesOnly, {"A", "B"}).split('\n').value(1), "01 03 ");
}

TEST(LineRowsTest, SavedPcapngOfTwoLines_EachPacketOnItsLinesInterface) {
  PacketStore store;
  const Bytes bytes{0x01, 0x03, 0x00};
  store.Append(1'000'000, bytes.data(), 3, std::nullopt, std::nullopt, 0);
  store.Append(2'000'000, bytes.data(), 3, std::nullopt, std::nullopt, 1);
  LogWriter writer(store.TakeSnapshot(), LogFileFormat::kPcapng);
  writer.SetLine({"ttyUSB0", "ttyUSB0 9600 8N1", 9600});
  writer.SetSecondLine({"ttyUSB1", "ttyUSB1 9600 8N1", 9600});
  QByteArray out;
  while (writer.WriteNext(out)) {
  }
  QTemporaryDir dir;
  QFile file(dir.filePath("two.pcapng"));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(out);
  file.close();
  const CaptureFileContents contents = ReadCaptureFile(file.fileName().toStdString());
  ASSERT_EQ(contents.interfaces.size(), 2u);
  EXPECT_EQ(contents.interfaces[1].link.name, "ttyUSB1");
  ASSERT_EQ(contents.packets.size(), 2u);
  EXPECT_EQ(contents.packets[0].interfaceId, 0u);
  EXPECT_EQ(contents.packets[1].interfaceId, 1u);
}

class LineColumnTest : public ::testing::Test {
 protected:
  void SetUp() override {
    view_.SetLogModel(&log_);
    view_.InitLog();
    strip_ = new LineNameStrip(view_, [this](int row) { return log_.LineNameAt(row); });
  }
  void TearDown() override { delete strip_; }
  void Append(int line) {
    const Bytes bytes{0x01, 0x03, 0x00};
    log_.AppendLinePacket(line, bytes.data(), 3, PacketTiming{1, 2, 3});
    log_.AnnouncePackets();
  }

  PacketLogModel log_;
  PacketLogView view_;
  LineNameStrip* strip_ = nullptr;
};

TEST_F(LineColumnTest, OneLine_TheGridIsItsTwoColumnsUnshaded) {
  Append(0);
  Append(1);  // a line the log does not name reads as one line
  EXPECT_EQ(log_.columnCount(), 2);
  EXPECT_EQ(log_.headerData(0, Qt::Horizontal).toString(), "Time");
  EXPECT_EQ(log_.headerData(1, Qt::Horizontal).toString(), "Packet data");
  EXPECT_FALSE(log_.ShowsLines());
  EXPECT_EQ(log_.LineNameAt(1), QString());
  for (int row = 0; row < 2; ++row) {
    EXPECT_FALSE(log_.data(log_.index(row, 1), Qt::BackgroundRole).isValid()) << row;
  }
}

TEST_F(LineColumnTest, TwoLines_EachRowNamedAndTheSecondLineShaded_NamesKeptOverAClear) {
  log_.SetLineNames({"master", "slave"});
  Append(0);
  Append(1);
  Append(0);
  EXPECT_EQ(log_.columnCount(), 2) << "the name stands beside the grid, not in its columns";
  EXPECT_EQ(log_.LineNameAt(0), "master");
  EXPECT_EQ(log_.LineNameAt(1), "slave");
  EXPECT_EQ(log_.LineNameAt(2), "master");
  EXPECT_FALSE(log_.data(log_.index(0, 1), Qt::BackgroundRole).isValid());
  const QVariant shade = log_.data(log_.index(1, 0), Qt::BackgroundRole);
  ASSERT_TRUE(shade.canConvert<QBrush>());
  EXPECT_NE(shade.value<QBrush>().color(), QGuiApplication::palette().color(QPalette::Base));

  log_.AppendMark(QStringLiteral("Link lost"), 9);
  EXPECT_EQ(log_.LineNameAt(3), QString()) << "a note has no line";

  log_.Clear();
  EXPECT_TRUE(log_.ShowsLines());
  Append(1);
  EXPECT_EQ(log_.LineNameAt(0), "slave");
  log_.SetLineNames({});
  EXPECT_EQ(log_.LineNameAt(0), QString());
}

Bytes WithCrc(Bytes body) {
  const std::uint16_t crc = modbus::Crc16(body.data(), body.size());
  body.push_back(static_cast<std::uint8_t>(crc & 0xFF));
  body.push_back(static_cast<std::uint8_t>(crc >> 8));
  return body;
}

TEST_F(LineColumnTest, MastersSideNamed_TheLineTellsRequestFromEcho_PairedAcrossLinesWithTheTurnaround) {
  // A write's echo looks like its request. The slave's echo of a request
  // the tap missed comes first, then a request on the master's line and
  // its echo on the slave's.
  const Bytes lostEcho = WithCrc({0x01, 0x06, 0x00, 0x10, 0x00, 0x2A});
  const Bytes request = WithCrc({0x01, 0x06, 0x00, 0x11, 0x00, 0x01});
  const auto append = [this](int line, const Bytes& bytes, PacketTime first, PacketTime last) {
    log_.AppendLinePacket(line, bytes.data(), static_cast<int>(bytes.size()), PacketTiming{first, last, last + 4000});
  };
  append(1, lostEcho, 1'000'000, 1'008'000);
  append(0, request, 1'100'000, 1'108'000);
  append(1, request, 1'120'500, 1'128'500);
  log_.AnnouncePackets();
  const LogPackets packets(log_);
  const modbus::LineTiming timing{9600, 10};

  log_.SetLineNames({"master", "slave"});
  EXPECT_EQ(modbus::SummaryAt(packets, 0).direction, modbus::Direction::Request)
      << "no side named: judged from the frames alone";

  log_.SetMasterLine(0);
  EXPECT_EQ(modbus::SummaryAt(packets, 0).direction, modbus::Direction::Response);
  EXPECT_EQ(modbus::PairingOf(packets, 0, timing).kind, modbus::Pairing::kUnpaired);
  const modbus::Pairing pairing = modbus::PairingOf(packets, 1, timing);
  EXPECT_EQ(pairing.kind, modbus::Pairing::kAnsweredBy);
  EXPECT_EQ(pairing.row, 2);
  EXPECT_EQ(pairing.turnaround, 12'500) << "the answer's first byte less the request's last byte";
  EXPECT_EQ(modbus::PairingOf(packets, 2, timing).row, 1);

  // The same side named the other way round turns them.
  log_.SetMasterLine(1);
  EXPECT_EQ(modbus::SummaryAt(packets, 0).direction, modbus::Direction::Request);
  // With one line the sides are never used.
  log_.SetMasterLine(0);
  log_.SetLineNames({});
  EXPECT_EQ(log_.MasterLine(), -1);
}

}  // namespace
}  // namespace tessaly
