// Notes between packets (a link lost, a link back): shown in the grid in
// place of bytes, counted as no frame, and carried into saved text and CSV;
// pcap, with no place for them, leaves them out.
#include "log/frame_counter.h"
#include "log/log_export.h"
#include "log/packet_log_model.h"

#include <gtest/gtest.h>

#include <cstring>

namespace tessaly {
namespace {

QByteArray Written(LogWriter writer) {
  QByteArray out;
  while (writer.WriteNext(out)) {
  }
  return out;
}

TEST(LogMarksTest, ShownInPlaceOfBytes_NoFrame_CarriedIntoTextAndCsvButNotPcap) {
  PacketLogModel log;
  log.SetBatching(INT_MAX, 0);
  const FrameCounter counter(log);
  const std::uint8_t frame[] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x0A, 0xC5, 0xCD};
  const PacketTime noon = 1'765'195'200'000'000;  // some day's 12:00:00 UTC
  log.AppendPacket(frame, sizeof frame, noon);
  log.AppendMark(QStringLiteral("Link lost: \"gateway\" gone"), noon + 1000);
  log.AppendPacket(frame, sizeof frame, noon + 2'000'000);

  EXPECT_EQ(log.data(log.index(1, PacketLogModel::kDataColumn)).toString(), "Link lost: \"gateway\" gone");
  EXPECT_EQ(log.data(log.index(2, PacketLogModel::kDataColumn)).toString(), "01 03 00 00 00 0A C5 CD ");
  EXPECT_EQ(counter.Text(), "Frames: 2 good, 0 bad");

  const auto written = [&](LogFileFormat format) {
    LogWriter writer(log.TakeSnapshot(), format);
    writer.SetMarks(log.Marks());
    return Written(std::move(writer));
  };
  const QList<QByteArray> text = written(LogFileFormat::kText).split('\n');
  ASSERT_GE(text.size(), 3);
  EXPECT_TRUE(text[1].endsWith("\tLink lost: \"gateway\" gone")) << text[1].toStdString();
  const QList<QByteArray> csv = written(LogFileFormat::kCsv).split('\n');
  ASSERT_GE(csv.size(), 4);
  EXPECT_TRUE(csv[2].endsWith(",0,\"Link lost: \"\"gateway\"\" gone\"\r")) << csv[2].toStdString();
  // A header and two records of 16 + 8 bytes: the note left out.
  EXPECT_EQ(written(LogFileFormat::kPcap).size(), 24 + 2 * (16 + 8));

  log.Clear();
  EXPECT_TRUE(log.Marks().empty());
}

}  // namespace
}  // namespace tessaly
