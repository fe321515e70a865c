#include "log/packet_log_model.h"
#include "views/packet_log_view.h"
#include "log/packet_store.h"
#include "log/packet_text.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QLabel>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <new>
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

// When each packet's first and last byte came, kept beside its end; a
// packet that came without them says so rather than guessing.
TEST(PacketStore, ByteTimesKeptWhereGiven_UnknownWhereNot) {
  PacketStore store;
  const std::uint8_t bytes[] = {1, 2, 3};
  store.Append(10'000'000, bytes, 3, 9'000'000, 9'996'000);
  store.Append(20'000'000, bytes, 3);
  store.Append(30'000'000, bytes, 3, 31'000'000, 29'000'000'000);  // out of order: clamped, never wrapped
  EXPECT_EQ(store.At(0).firstByte, 9'000'000);
  EXPECT_EQ(store.At(0).lastByte, 9'996'000);
  EXPECT_FALSE(store.At(1).firstByte.has_value());
  EXPECT_FALSE(store.At(1).lastByte.has_value());
  EXPECT_EQ(store.At(2).firstByte, 30'000'000);
  EXPECT_LE(*store.At(2).lastByte, 30'000'000);
}

TEST(PacketStore, AllocationLimitRefusesWithoutLoss_ClearGivesTheMemoryBack) {
  PacketStore store;
  store.SetAllocationLimit(4096 * 24 + 64 * 1024);  // one record block and one byte chunk
  const Bytes packet(1000, 0x5A);
  int stored = 0;
  try {
    for (;; ++stored) store.Append(stored, packet.data(), 1000);
  } catch (const std::bad_alloc&) {
  }
  EXPECT_EQ(stored, 65);
  EXPECT_EQ(store.Size(), 65);
  EXPECT_EQ(Bytes(store.At(64).bytes, store.At(64).bytes + 1000), packet);
  const PacketStore::Snapshot kept = store.TakeSnapshot();
  store.Clear();
  EXPECT_EQ(store.Size(), 0);
  EXPECT_EQ(store.AllocatedBytes(), 0u);
  EXPECT_EQ(kept.Size(), 65) << "a snapshot outlives the store's clearing";
  EXPECT_EQ(kept.At(64).time, 64);
  store.Append(7, packet.data(), 3);
  EXPECT_EQ(store.At(0).time, 7);
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

TEST_F(PacketLogModelTest, MemoryRunsOut_SaidOnceLogIntact_ClearStartsOverWithTheEmptyRow) {
  QSignalSpy exhausted(&model, &PacketLogModel::memoryExhausted);
  model.SetAllocationLimit(4096 * 24 + 64 * 1024);  // one record block and one byte chunk
  model.SetBatching(3, 60'000);  // packets held back are announced when memory runs out
  const Bytes packet(1024, 0x11);
  for (int n = 0; n < 100; ++n) Append(packet);
  ASSERT_EQ(exhausted.size(), 1);
  EXPECT_EQ(exhausted[0][0].toInt(), 64);
  EXPECT_TRUE(model.MemoryExhausted());
  EXPECT_EQ(model.rowCount(), 64);
  EXPECT_EQ(model.TakeSnapshot().Size(), 64);

  model.Clear();
  EXPECT_EQ(model.rowCount(), 1);
  EXPECT_EQ(Cell(0, 0), "");
  EXPECT_FALSE(model.MemoryExhausted());
  model.SetBatching(INT_MAX, 0);
  Append({0x0A});
  Append({0x0B});
  EXPECT_EQ(model.rowCount(), 2);
  EXPECT_EQ(Cell(0, 1), "0A ");
  EXPECT_EQ(exhausted.size(), 1);
}

TEST_F(PacketLogModelTest, DataCellTooltipIsTheWholePacketInLinesOf32Bytes) {
  Bytes packet(40);
  for (std::size_t i = 0; i < packet.size(); ++i) packet[i] = static_cast<std::uint8_t>(i);
  Append(packet);
  const QStringList lines = model.index(0, 1).data(Qt::ToolTipRole).toString().split(u'\n');
  ASSERT_EQ(lines.size(), 2);
  EXPECT_EQ(lines[0].size(), 32 * 3 - 1);
  EXPECT_EQ(lines[1], "20 21 22 23 24 25 26 27");
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

class PacketLogViewTest : public testing::Test {
 protected:
  PacketLogViewTest() {
    model.SetBatching(INT_MAX, 0);
    view.SetLogModel(&model);
    view.InitLog();
    view.resize(400, 300);
    view.show();
  }
  void Append(int packets) {
    for (int n = 0; n < packets; ++n) {
      const Bytes bytes = {static_cast<std::uint8_t>(model.PacketCount())};
      model.AppendPacket(bytes.data(), 1, WallClockNow());
    }
  }
  bool NewestIsCurrentAndVisible() const {
    return view.currentIndex().row() == model.rowCount() - 1 &&
           view.viewport()->rect().contains(view.visualRect(view.currentIndex()));
  }
  // The top row shown whole (at the bottom of the log the top row may be cut).
  int FirstWholeRow() const {
    const int top = view.rowAt(0);
    return view.rowViewportPosition(top) < 0 ? top + 1 : top;
  }
  bool PausedSignShown() const {
    return view.findChild<QLabel*>(QStringLiteral("FollowingPaused"))->isVisible();
  }

  PacketLogModel model;
  PacketLogView view;
};

TEST_F(PacketLogViewTest, NewPacketsBecomeTheCurrentVisibleRow_ColumnKept) {
  Append(1);
  view.setCurrentIndex(model.index(0, PacketLogModel::kTimeColumn));
  Append(100);
  EXPECT_EQ(view.currentIndex(), model.index(100, PacketLogModel::kTimeColumn));
  EXPECT_TRUE(NewestIsCurrentAndVisible());
  EXPECT_TRUE(view.Following());
  EXPECT_FALSE(PausedSignShown());
}

TEST_F(PacketLogViewTest, ScrollingUpOrPickingAnOlderRow_PausesWhileRowsArrive_EndOrBottomResumes) {
  Append(200);
  const auto scrollUp = [&] { view.verticalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepSub); };
  const std::vector<std::pair<const char*, std::function<void()>>> pauses = {
      {"scroll up", scrollUp},
      {"older row", [&] { QTest::keyClick(&view, Qt::Key_Up); }},
      {"range", [&] { QTest::keyClick(&view, Qt::Key_Up, Qt::ShiftModifier); }},
  };
  const std::vector<std::pair<const char*, std::function<void()>>> resumes = {
      {"End", [&] { QTest::keyClick(&view, Qt::Key_End); }},
      {"Ctrl+End", [&] { QTest::keyClick(&view, Qt::Key_End, Qt::ControlModifier); }},
      {"scroll to bottom",
       [&] { view.verticalScrollBar()->triggerAction(QAbstractSlider::SliderToMaximum); }},
  };
  for (const auto& [pauseName, pause] : pauses) {
    for (const auto& [resumeName, resume] : resumes) {
      SCOPED_TRACE(std::string(pauseName) + " then " + resumeName);
      pause();
      ASSERT_FALSE(view.Following());
      EXPECT_TRUE(PausedSignShown());
      const int firstVisible = FirstWholeRow();
      const QModelIndex current = view.currentIndex();
      Append(30);
      EXPECT_EQ(FirstWholeRow(), firstVisible);
      EXPECT_EQ(view.currentIndex(), current);
      resume();
      EXPECT_TRUE(view.Following());
      EXPECT_FALSE(PausedSignShown());
      Append(1);
      EXPECT_TRUE(NewestIsCurrentAndVisible());
    }
  }
}

TEST_F(PacketLogViewTest, SelectedRangesCopyAsLinesOrBytes_ClearStartsOverFollowing) {
  Append(10);
  QItemSelectionModel& selection = *view.selectionModel();
  selection.clearSelection();
  for (const int row : {7, 2, 3, 8}) {
    selection.select(model.index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  }
  ASSERT_EQ(view.SelectedRows().size(), 2u);
  EXPECT_FALSE(view.Following());

  view.CopyBytesAction()->trigger();
  EXPECT_EQ(QApplication::clipboard()->text(), "02 \n03 \n07 \n08 \n");
  view.CopyAction()->trigger();
  const QStringList lines = QApplication::clipboard()->text().split(u'\n');
  ASSERT_EQ(lines.size(), 5);
  EXPECT_EQ(lines[0], model.index(2, 0).data().toString() + "\t02 ");
  view.SelectAllAction()->trigger();
  view.CopyBytesAction()->trigger();
  EXPECT_EQ(QApplication::clipboard()->text().count(u'\n'), 10);

  view.setColumnWidth(1, 250);
  model.Clear();
  EXPECT_TRUE(view.Following());
  EXPECT_EQ(model.rowCount(), 1);
  EXPECT_EQ(view.columnWidth(0), PacketLogView::kTimeColumnWidth) << "the columns keep their widths";
  EXPECT_EQ(view.columnWidth(1), 250);
  Append(3);
  EXPECT_TRUE(NewestIsCurrentAndVisible());
  EXPECT_EQ(model.index(0, 1).data().toString(), "00 ");
}

}  // namespace
}  // namespace tessaly
