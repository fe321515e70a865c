#include "capture/packet_log_model.h"
#include "capture/packet_log_view.h"
#include "capture/packet_store.h"
#include "capture/packet_text.h"

#include <QAbstractItemModelTester>
#include <QDateTime>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

namespace tessaly {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(PacketText, TimeStampsHaveNoLeadingZerosAndStayWithinOneDay) {
  const std::vector<std::pair<int, QString>> cases = {
      {((9 * 60 + 5) * 60 + 7) * 1000 + 31, "9:5:7:31"}, {12 * 3'600'000, "12:0:0:0"},
      {0, "0:0:0:0"}, {86'399'999, "23:59:59:999"}, {86'400'000, "0:0:0:0"}, {-1, "23:59:59:999"}};
  for (const auto& [milliseconds, text] : cases) EXPECT_EQ(FormatTimeStamp(milliseconds), text);
}

TEST(PacketText, BytesAreTwoUpperCaseDigitsAndASpaceEach) {
  const Bytes request = {0x01, 0x03, 0x0A, 0xC5, 0xFF, 0x00};
  EXPECT_EQ(FormatPacketBytes(request.data(), 6), "01 03 0A C5 FF 00 ");
  EXPECT_EQ(FormatPacketBytes(nullptr, 0), "");
}

TEST(PacketStore, PacketsOfEverySizeCrossingChunksReadBackIntact) {
  PacketStore store;
  auto packet = [](int n) {
    Bytes bytes(n * 37 % 1025);  // 0 to 1024 bytes, filling many chunks unevenly
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(n + i);
    return bytes;
  };
  constexpr int kPackets = 5000;  // more than one block of records too
  constexpr PacketTime kFirst = 1'700'000'000'123'456;
  for (int n = 0; n < kPackets; ++n) {
    store.Append(kFirst + n, packet(n).data(), static_cast<int>(packet(n).size()));
  }
  for (int n = 0; n < kPackets; ++n) {
    const PacketStore::Packet stored = store.At(n);
    ASSERT_EQ(stored.time, kFirst + n);
    ASSERT_EQ(Bytes(stored.bytes, stored.bytes + stored.count), packet(n)) << n;
  }
}

class PacketLogModelTest : public testing::Test {
 protected:
  QString Cell(int row, int column) const { return model.index(row, column).data().toString(); }
  void Append(const Bytes& bytes) {
    model.AppendPacket(bytes.data(), static_cast<int>(bytes.size()), kLocalNoon);
  }

  // Noon today, local time, whatever the machine's time zone.
  const PacketTime kLocalNoon =
      QDateTime(QDate::currentDate(), QTime(12, 0)).toMSecsSinceEpoch() * 1000;

  PacketLogModel model;
  QAbstractItemModelTester tester{&model, QAbstractItemModelTester::FailureReportingMode::Fatal};
  QSignalSpy appended{&model, &PacketLogModel::packetAppended};
};

TEST_F(PacketLogModelTest, FirstPacketEvenEmptyFillsTheStartRow_LaterOnesAreNewRows) {
  EXPECT_EQ(model.rowCount(), 1);
  EXPECT_EQ(Cell(0, 0), "");
  for (const Bytes& packet : {Bytes{}, Bytes{0x01, 0x03}, Bytes{0x0A}}) Append(packet);
  EXPECT_EQ(model.rowCount(), 3);
  EXPECT_EQ(Cell(0, 0), "12:0:0:0");
  EXPECT_EQ(Cell(0, 1), "");
  EXPECT_EQ(Cell(1, 1), "01 03 ");
  EXPECT_EQ(Cell(2, 1), "0A ");
  ASSERT_EQ(appended.size(), 3);
  EXPECT_EQ(appended[2][0].toInt(), 2);
}

TEST_F(PacketLogModelTest, PacketThatCannotBeStored_RefusedAndLogUnchanged) {
  Append({0x01});
  const Bytes huge(PacketStore::kMaxPacketSize + 1);
  EXPECT_THROW(model.AppendPacket(huge.data(), static_cast<int>(huge.size()), kLocalNoon),
               std::invalid_argument);
  EXPECT_THROW(model.AppendPacket(huge.data(), -1, kLocalNoon), std::invalid_argument);
  EXPECT_EQ(model.PacketCount(), 1);
  EXPECT_EQ(model.rowCount(), 1);
}

TEST_F(PacketLogModelTest, BusyLongLog_PacketsHeldBackAreAnnouncedTogetherSoon) {
  model.SetBatching(3, 50);
  for (std::uint8_t n = 0; n < 6; ++n) Append({n});
  EXPECT_EQ(model.rowCount(), 3);
  EXPECT_EQ(model.PacketCount(), 6);
  ASSERT_TRUE(appended.wait(5000));
  EXPECT_EQ(model.rowCount(), 6);
  EXPECT_EQ(appended.last()[0].toInt(), 5);
  EXPECT_EQ(Cell(5, 1), "05 ");
}

TEST(PacketLogView, NewPacketsBecomeTheCurrentVisibleRow_ColumnKept) {
  PacketLogModel model;
  PacketLogView view;
  view.SetLogModel(&model);
  view.InitLog();
  view.resize(400, 300);
  view.show();
  const Bytes bytes = {0x01, 0x03};
  model.AppendPacket(bytes.data(), 2, WallClockNow());
  view.setCurrentIndex(model.index(0, PacketLogModel::kTimeColumn));
  for (int n = 0; n < 100; ++n) model.AppendPacket(bytes.data(), 2, WallClockNow());

  EXPECT_EQ(view.currentIndex(), model.index(100, PacketLogModel::kTimeColumn));
  EXPECT_TRUE(view.viewport()->rect().contains(view.visualRect(view.currentIndex())));
}

}  // namespace
}  // namespace tessaly
