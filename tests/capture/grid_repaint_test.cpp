// The grid repaints only what changes as rows arrive (new rows, the scroll,
// the moved handle of the scroll bar, column headers only when the selection's
// bearing on them changes); what ends up on screen must be what a whole
// repaint draws.
#include "capture/packet_log_model.h"
#include "capture/packet_log_view.h"
#include "capture/packet_time.h"

#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QScrollBar>
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

}  // namespace
}  // namespace tessaly
