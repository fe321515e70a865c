// A log of two lines: each row keeps its line, the names show beside the
// grid and in saved text and CSV only while the log names two lines, and a
// log of one line is exactly what it always was.
#include "capture/line_name_strip.h"
#include "capture/log_export.h"
#include "capture/packet_log_model.h"
#include "capture/packet_log_view.h"
#include "capture/packet_store.h"

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

TEST_F(LineColumnTest, OneLine_TheGridIsTheTwoSpecifiedColumnsUnshaded) {
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

}  // namespace
}  // namespace tessaly
