// The grid repaints only what changes as rows arrive (new rows, the scroll,
// the moved handle of the scroll bar, column headers only when the selection's
// bearing on them changes); what ends up on screen must be what a whole
// repaint draws.
#include "log/packet_log_model.h"
#include "views/packet_log_view.h"
#include "core/packet_time.h"

#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTest>

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

namespace tessaly {
namespace {

class GridRepaintTest : public testing::Test {
 protected:
  GridRepaintTest() {
    model.SetBatching(INT_MAX, 0);
    view.SetLogModel(&model);
    view.InitLog();
    view.resize(420, 300);
    view.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&view));
  }
  void AppendOneByOne(int packets) {
    for (int n = 0; n < packets; ++n) {
      const std::uint8_t bytes[3] = {static_cast<std::uint8_t>(n), 0xA5, 0x0F};
      model.AppendPacket(bytes, 1 + n % 3, WallClockNow());
      QApplication::processEvents();
    }
    QApplication::processEvents();
  }
  QImage OnScreen() {
    return view.screen()->grabWindow(view.winId()).toImage().convertToFormat(QImage::Format_RGB32);
  }
  QImage Repainted() { return view.grab().toImage().convertToFormat(QImage::Format_RGB32); }

  PacketLogModel model;
  PacketLogView view;
};

TEST_F(GridRepaintTest, RowsArrivingOneByOne_ScreenShowsWhatAWholeRepaintDraws) {
  // Through the bar's appearance and the handle shrinking to its least
  // length, paused at the top while it is still long (the handle shrinks at
  // its other end), and following again.
  for (int stage : {5, 20}) {
    AppendOneByOne(stage);
    EXPECT_EQ(OnScreen(), Repainted()) << "after " << model.PacketCount() << " rows";
  }
  ASSERT_TRUE(view.verticalScrollBar()->isVisible());
  view.verticalScrollBar()->triggerAction(QAbstractSlider::SliderToMinimum);
  AppendOneByOne(10);
  EXPECT_EQ(OnScreen(), Repainted()) << "paused at the top";
  view.ResumeFollowing();
  for (int stage : {10, 200, 400}) {
    AppendOneByOne(stage);
    EXPECT_EQ(OnScreen(), Repainted()) << "after " << model.PacketCount() << " rows";
  }
  // The column headers show whether the selection touches their columns.
  view.clearSelection();
  QApplication::processEvents();
  EXPECT_EQ(OnScreen(), Repainted()) << "nothing selected";
  view.selectRow(3);
  QApplication::processEvents();
  EXPECT_EQ(OnScreen(), Repainted()) << "an old row selected";
}

// The grid's own cell painting is a cheaper way to the style's: it must draw
// exactly what the plain item delegate draws, selected or not, cut off or not.
TEST_F(GridRepaintTest, CellsLookAsThePlainDelegateDrawsThem) {
  class ButtonColoured : public QStyledItemDelegate {
   protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
      QStyledItemDelegate::initStyleOption(option, index);
      option->backgroundBrush = option->palette.button();
    }
  };
  for (int n = 0; n < 30; ++n) {
    std::uint8_t bytes[120];
    for (int i = 0; i < 120; ++i) bytes[i] = static_cast<std::uint8_t>(n * 7 + i);
    model.AppendPacket(bytes, n % 4 == 0 ? 120 : 1 + n % 9, WallClockNow());
  }
  view.selectRow(25);
  view.setFocus();
  QApplication::processEvents();
  const QImage own = Repainted();
  ButtonColoured time;
  QStyledItemDelegate data;
  view.setItemDelegateForColumn(PacketLogModel::kTimeColumn, &time);
  view.setItemDelegateForColumn(PacketLogModel::kDataColumn, &data);
  EXPECT_EQ(own, Repainted());
  view.setItemDelegateForColumn(PacketLogModel::kTimeColumn, nullptr);
  view.setItemDelegateForColumn(PacketLogModel::kDataColumn, nullptr);
}

}  // namespace
}  // namespace tessaly
