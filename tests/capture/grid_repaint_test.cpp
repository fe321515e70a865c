// The grid repaints only what changes as rows arrive (new rows, the scroll,
// the moved handle of the scroll bar, column headers only when the selection's
// bearing on them changes); what ends up on screen must be what a whole
// repaint draws.
#include "log/packet_log_model.h"
#include "views/packet_log_view.h"
#include "core/packet_time.h"

#include <QApplication>
#include <QImage>
#include <QPalette>
#include <QPixmap>
#include <QScreen>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTest>

#include <gtest/gtest.h>

#include <climits>
#include <ostream>
#include <string>
#include <utility>
#include <cstdint>

namespace tessaly {
namespace {

// A dark theme: light text on dark cells, as a desktop's dark palette gives.
QPalette DarkPalette() {
  QPalette dark;
  const QColor window(0x35, 0x35, 0x35);
  const QColor base(0x23, 0x23, 0x23);
  for (auto [role, colour] : {std::pair{QPalette::Window, window}, {QPalette::Button, window},
                              {QPalette::Base, base}, {QPalette::AlternateBase, window},
                              {QPalette::Text, QColor(Qt::white)}, {QPalette::WindowText, QColor(Qt::white)},
                              {QPalette::ButtonText, QColor(Qt::white)},
                              {QPalette::Highlight, QColor(0x2A, 0x82, 0xDA)},
                              {QPalette::HighlightedText, QColor(Qt::black)}}) {
    dark.setColor(role, colour);
  }
  return dark;
}

struct Look {
  const char* name;
  QSize size;
  bool dark;
};

void PrintTo(const Look& look, std::ostream* out) { *out << look.name; }

class GridRepaintTest : public testing::TestWithParam<Look> {
 protected:
  GridRepaintTest() {
    model.SetBatching(INT_MAX, 0);
    view.SetLogModel(&model);
    view.InitLog();
    if (GetParam().dark) view.setPalette(DarkPalette());
    view.resize(GetParam().size);
    view.setColumnWidth(PacketLogModel::kDataColumn, GetParam().size.width() - 150);
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
  // Rows arriving several at a time, as the log announces them in batches.
  void AppendInBatches(int batches, int rowsEach) {
    for (int b = 0; b < batches; ++b) {
      for (int n = 0; n < rowsEach; ++n) {
        std::uint8_t bytes[40];
        for (int i = 0; i < 40; ++i) bytes[i] = static_cast<std::uint8_t>(b * 31 + n * 7 + i);
        model.AppendPacket(bytes, 1 + (b + n) % 40, WallClockNow());
      }
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

INSTANTIATE_TEST_SUITE_P(
    SizesAndThemes, GridRepaintTest,
    testing::Values(Look{"SmallLight", QSize(420, 300), false}, Look{"SmallDark", QSize(420, 300), true},
                    Look{"LargeLight", QSize(900, 520), false}, Look{"LargeDark", QSize(900, 520), true}),
    [](const testing::TestParamInfo<Look>& info) { return std::string(info.param.name); });

TEST_P(GridRepaintTest, RowsArrivingOneByOne_ScreenShowsWhatAWholeRepaintDraws) {
  // Through the bar's appearance and the handle shrinking to its least
  // length, paused at the top while it is still long (the handle shrinks at
  // its other end), and following again.
  for (int stage : {5, 40}) {
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
// Batches of rows scroll what is drawn up and paint only the new rows; the
// result must be what a whole repaint draws, the grid lines included.
TEST_P(GridRepaintTest, BatchesScrolledIn_ScreenShowsWhatAWholeRepaintDraws) {
  AppendInBatches(3, 1);
  AppendInBatches(40, 3);
  EXPECT_EQ(OnScreen(), Repainted()) << "after " << model.PacketCount() << " rows";
  view.setFocus();
  AppendInBatches(25, 7);
  EXPECT_EQ(OnScreen(), Repainted()) << "with the focus, after " << model.PacketCount() << " rows";
  view.horizontalScrollBar()->setValue(view.horizontalScrollBar()->maximum());
  AppendInBatches(10, 2);
  EXPECT_EQ(OnScreen(), Repainted()) << "scrolled across";
}

TEST_P(GridRepaintTest, CellsLookAsThePlainDelegateDrawsThem) {
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
  EXPECT_EQ(own, Repainted()) << "painted again from what was laid out the first time";
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
