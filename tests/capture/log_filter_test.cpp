// A filter over a long log looks on a thread, yet shows exactly the rows that
// looking at every packet in turn finds, in order, with packets that arrive
// meanwhile; stopping it leaves the pane showing every row.
#include "log/find_scan.h"
#include "log/log_filter_model.h"
#include "panes/log_filter_pane.h"
#include "modbus/crc16.h"
#include "log/packet_log_model.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <random>
#include <vector>

namespace tessaly {
namespace {

class LogFilterTest : public testing::Test {
 protected:
  LogFilterTest() { log.SetBatching(INT_MAX, 0); }

  // Read requests and answers of several units, good and bad, some merged,
  // some cut short, of every length up to 40 bytes.
  void Append(int packets) {
    for (int n = 0; n < packets; ++n) {
      std::vector<std::uint8_t> bytes(static_cast<std::size_t>(random() % 41));
      for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random() % 16);
      if (bytes.size() >= 4 && random() % 2 == 0) {
        const std::uint16_t crc = modbus::Crc16(bytes.data(), bytes.size() - 2);
        bytes[bytes.size() - 2] = static_cast<std::uint8_t>(crc & 0xFF);
        bytes[bytes.size() - 1] = static_cast<std::uint8_t>(crc >> 8);
      }
      log.AppendPacket(bytes.data(), static_cast<int>(bytes.size()), WallClockNow());
    }
  }
  // The rows a filter lets through, looked at one by one here.
  std::vector<int> Expected(const modbus::RowFilter& filter) const {
    std::vector<int> rows;
    for (int row = 0; row < log.PacketCount(); ++row) {
      const PacketStore::Packet packet = log.PacketAt(row);
      if (filter.Matches(packet.bytes, packet.count)) rows.push_back(row);
    }
    return rows;
  }
  static std::vector<int> Shown(const LogFilterModel& model) {
    std::vector<int> rows;
    for (int row = 0; row < model.rowCount(); ++row) rows.push_back(model.SourceRow(row));
    return rows;
  }
  static bool Finished(const LogFilterModel& model) {
    return QTest::qWaitFor([&model] { return !model.Scanning(); }, 30'000);
  }

  std::mt19937 random{23};
  PacketLogModel log;
};

TEST_F(LogFilterTest, LongLog_SameRowsInOrderAsLookingAtEach_PacketsArrivingMeanwhileIncluded) {
  Append(300'000);
  LogFilterModel model(log);
  QSignalSpy progress(&model, &LogFilterModel::scanProgress);
  std::vector<modbus::RowFilter> filters(5);
  filters[0].unit = 3;
  filters[1].function = 4;
  filters[2].badFramesOnly = true;
  filters[3].sequence = {0x00, 0x07};
  filters[4].unit = 1;
  filters[4].badFramesOnly = true;
  for (const modbus::RowFilter& filter : filters) {
    model.SetFilter(filter);
    ASSERT_TRUE(model.Scanning()) << "a long log is looked through on a thread";
    // Pieces can only be taken once the loop runs: these arrive during the scan.
    Append(5'000);
    QTest::qWait(1);
    Append(20'000);
    ASSERT_TRUE(Finished(model));
    EXPECT_EQ(Shown(model), Expected(filter));
    Append(3);  // and after it, as before
    EXPECT_EQ(Shown(model), Expected(filter));
  }
  // Looked-at counts only grow within a scan, up to its end.
  for (qsizetype i = 1; i < progress.size(); ++i) {
    const int lookedAt = progress[i][0].toInt();
    EXPECT_LE(lookedAt, progress[i][1].toInt());
    if (progress[i][1] == progress[i - 1][1] && lookedAt != 0) {
      EXPECT_GT(lookedAt, progress[i - 1][0].toInt());
    }
  }

  // A filter set while another still looks replaces it: none of the old
  // one's rows show.
  model.SetFilter(filters[0]);
  model.SetFilter(filters[1]);
  ASSERT_TRUE(Finished(model));
  EXPECT_EQ(Shown(model), Expected(filters[1]));
}

TEST_F(LogFilterTest, StoppedWhileLooking_PaneShowsEveryRowAndStaysSo) {
  Append(300'000);
  LogFilterPane pane(log);
  pane.UnitField()->setText(QStringLiteral("3"));
  ASSERT_TRUE(pane.ApplyFilter());
  auto* stop = pane.findChild<QPushButton*>(QStringLiteral("FilterStop"));
  ASSERT_TRUE(pane.Model().Scanning());
  EXPECT_FALSE(stop->isHidden());
  EXPECT_TRUE(pane.Count().contains(QStringLiteral("looking through the log"))) << pane.Count().toStdString();
  QTest::qWait(5);  // let some pieces arrive
  stop->click();
  EXPECT_FALSE(pane.Model().Scanning());
  EXPECT_FALSE(pane.Model().Filter().Active());
  EXPECT_TRUE(stop->isHidden());
  EXPECT_EQ(pane.Status(), QStringLiteral("Filter stopped: all rows shown"));
  // Pieces already on their way are dropped; new packets still join.
  QTest::qWait(50);
  Append(2);
  EXPECT_EQ(pane.Model().rowCount(), 300'002);
  EXPECT_EQ(pane.Count(), QStringLiteral("300002 of 300002 rows shown"));
}

// A find on a thread lands where looking on the window's thread lands,
// either way round the log; one given up never answers.
TEST_F(LogFilterTest, FindOnAThread_SameRowAsFindingAtOnce_GivenUpNeverAnswers) {
  Append(50'000);
  const LogPackets packets(log);
  QObject receiver;
  for (const auto& sequence : std::vector<std::vector<std::uint8_t>>{{0x0F, 0x0E, 0x0D, 0x0C}, {0xFF}}) {
    for (const int from : {-1, 0, 20'000, 49'999}) {
      for (const bool forward : {true, false}) {
        int found = -2;
        FindScan scan(SnapshotPackets(log.TakeSnapshot(), packets.Size()), from, sequence, forward, receiver,
                      [&found](int row) { found = row; });
        scan.Start();
        ASSERT_TRUE(QTest::qWaitFor([&found] { return found != -2; }, 10'000));
        EXPECT_EQ(found, modbus::FindRow(packets, from, sequence, forward)) << from << forward;
      }
    }
  }
  bool answered = false;
  {
    FindScan scan(SnapshotPackets(log.TakeSnapshot(), packets.Size()), 0, {0xFF}, true, receiver,
                  [&answered](int) { answered = true; });
    scan.Start();
  }
  QTest::qWait(20);
  EXPECT_FALSE(answered);
}

}  // namespace
}  // namespace tessaly
