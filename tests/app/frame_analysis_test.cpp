// The Modbus reading beside the grid in the running window: marks on rows
// that are not good frames, the frame count, the details pane and its
// remembered state, the filter and find pane over a log of mixed units and
// functions.

#include "app/frame_analysis.h"
#include "log/frame_counter.h"
#include "views/frame_mark_delegate.h"
#include "log/log_filter_model.h"
#include "panes/log_filter_pane.h"
#include "modbus/crc16.h"
#include "panes/packet_details_pane.h"
#include "views/packet_log_view.h"
#include "settings/registry.h"
#include "tests/app/program_fixture.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPainter>
#include <QTableView>
#include <QTest>

#include <vector>

namespace tessaly::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Frame(Bytes body) {
  const std::uint16_t crc = modbus::Crc16(body.data(), body.size());
  body.push_back(static_cast<std::uint8_t>(crc));
  body.push_back(static_cast<std::uint8_t>(crc >> 8));
  return body;
}

class FrameAnalysisTest : public ProgramTest {
 protected:
  FrameAnalysis& Analysis() { return Window().Analysis(); }

  // Rows 1 to 7: a read of unit 17 and its answer, a damaged answer, a
  // request and answer merged, a write to unit 18 and its echo, one byte.
  void LogMixedTraffic() {
    const Bytes read = Frame({0x11, 0x03, 0x00, 0x6B, 0x00, 0x01});
    const Bytes answer = Frame({0x11, 0x03, 0x02, 0x01, 0x2C});
    Bytes damaged = answer;
    damaged[4] ^= 0xFF;
    Bytes merged = read;
    merged.insert(merged.end(), answer.begin(), answer.end());
    const Bytes write = Frame({0x12, 0x06, 0x00, 0x01, 0x00, 0x07});
    PacketTime at = 1'700'000'000'000'000;
    for (const Bytes& packet : {read, answer, damaged, merged, write, write, Bytes{0x11}}) {
      at += 50'000;
      Window().Log().AppendPacket(packet.data(), static_cast<int>(packet.size()), at);
    }
    Window().Log().AnnouncePackets();
  }

  void SelectRow(int gridRow) {
    Window().LogView().setCurrentIndex(Window().Log().index(gridRow - 1, 1));
  }

  // Paints a data cell alone and returns the picture.
  QImage PaintedCell(int gridRow) {
    QImage image(300, 20, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    QStyleOptionViewItem option;
    option.initFrom(&Window().LogView());
    option.rect = image.rect();
    option.state &= ~QStyle::State_Selected;
    Analysis().Marks().paint(&painter, option, Window().Log().index(gridRow - 1, 1));
    return image;
  }
};

TEST_F(FrameAnalysisTest, FreshWindow_GridAndPanelsAsBefore_DetailsChoiceRememberedForTheUser) {
  StartProgram();
  const QList<QAction*> menus = Window().menuBar()->actions();
  ASSERT_GE(menus.size(), 4);
  EXPECT_EQ(menus[menus.size() - 2]->text(), QStringLiteral("&View"));
  EXPECT_EQ(menus.last()->text(), QStringLiteral("&Help"));
  EXPECT_TRUE(Analysis().Details().isHidden());
  EXPECT_TRUE(Analysis().FilterPane().isHidden());
  EXPECT_EQ(Window().Log().columnCount(), 2);
  for (const char* panel : {"StatusPanel0", "StatusPanel1", "StatusPanel2"}) {
    EXPECT_NE(Window().findChild<QLabel*>(QLatin1String(panel)), nullptr) << panel;
  }
  EXPECT_EQ(Analysis().CountPanel().text(), QStringLiteral("Frames: 0 good, 0 bad"));

  Analysis().miPacketDetails->trigger();
  EXPECT_FALSE(Analysis().Details().isHidden());
  // Kept for the user, not among the machine's values.
  EXPECT_EQ(Stored(FrameAnalysis::kDetailsShownValue), "(missing)");
  StartProgram();
  EXPECT_FALSE(Analysis().Details().isHidden());
  EXPECT_TRUE(Analysis().miPacketDetails->isChecked());
  Analysis().miPacketDetails->trigger();
  StartProgram();
  EXPECT_TRUE(Analysis().Details().isHidden());
  EXPECT_TRUE(reports_.isEmpty());
}

TEST_F(FrameAnalysisTest, MixedTraffic_BadRowsMarkedAndCounted_DetailsFollowTheCurrentRow) {
  StartProgram();
  LogMixedTraffic();
  EXPECT_EQ(Analysis().CountPanel().text(), QStringLiteral("Frames: 4 good, 3 bad"));

  const QColor tint = FrameMarkDelegate::MarkColor(Window().LogView().palette());
  for (int row : {1, 2, 5}) EXPECT_NE(PaintedCell(row).pixelColor(295, 1), tint) << row;
  for (int row : {3, 4, 7}) EXPECT_EQ(PaintedCell(row).pixelColor(295, 1), tint) << row;
  Analysis().miMarkFrames->trigger();
  EXPECT_NE(PaintedCell(3).pixelColor(295, 1), tint);
  // The texts stay as they were.
  EXPECT_EQ(LoggedPackets().at(6), QStringLiteral("11 "));

  Analysis().miPacketDetails->trigger();
  SelectRow(1);
  QString details = Analysis().Details().Text();
  EXPECT_TRUE(details.contains(QStringLiteral("Starting address:")));
  EXPECT_TRUE(details.contains(QStringLiteral("row 2, turnaround")));
  SelectRow(5);
  details = Analysis().Details().Text();
  EXPECT_TRUE(details.contains(QStringLiteral("6 Write Single Register")));
  EXPECT_TRUE(details.contains(QStringLiteral("0000  12 06 00 01 00 07")));
  SelectRow(3);
  EXPECT_TRUE(Analysis().Details().Text().contains(QStringLiteral("Bad CRC")));

  Window().Log().Clear();
  EXPECT_EQ(Analysis().CountPanel().text(), QStringLiteral("Frames: 0 good, 0 bad"));
  EXPECT_EQ(Analysis().Details().Text(), QStringLiteral("No packet selected."));
}

TEST_F(FrameAnalysisTest, FilterAndFind_ShowMatchingRowsAndMoveTheCurrentRow_LogUnchanged) {
  StartProgram();
  LogMixedTraffic();
  LogFilterPane& pane = Analysis().FilterPane();
  LogFilterModel& rows = pane.Model();
  const auto shownRows = [&rows] {
    std::vector<int> shown;
    for (int row = 0; row < rows.rowCount(); ++row) shown.push_back(rows.SourceRow(row) + 1);
    return shown;
  };

  EXPECT_EQ(rows.rowCount(), 7);
  pane.UnitField()->setText(QStringLiteral("0x12"));
  ASSERT_TRUE(pane.ApplyFilter());
  EXPECT_EQ(shownRows(), (std::vector<int>{5, 6}));
  pane.UnitField()->clear();
  pane.BadFramesBox()->setChecked(true);
  ASSERT_TRUE(pane.ApplyFilter());
  EXPECT_EQ(shownRows(), (std::vector<int>{3, 4, 7}));
  pane.BadFramesBox()->setChecked(false);
  pane.FunctionField()->setText(QStringLiteral("3"));
  pane.BytesField()->setText(QStringLiteral("01 2C"));
  ASSERT_TRUE(pane.ApplyFilter());
  EXPECT_EQ(shownRows(), (std::vector<int>{2, 4}));
  // A new packet that matches joins the rows shown.
  const Bytes another = Frame({0x13, 0x03, 0x02, 0x01, 0x2C});
  Window().Log().AppendPacket(another.data(), static_cast<int>(another.size()), WallClockNow());
  Window().Log().AnnouncePackets();
  EXPECT_EQ(shownRows(), (std::vector<int>{2, 4, 8}));
  EXPECT_EQ(LoggedPackets().size(), 8);

  pane.BytesField()->setText(QStringLiteral("0G"));
  EXPECT_FALSE(pane.ApplyFilter());
  EXPECT_TRUE(pane.Status().startsWith(QStringLiteral("Bytes:")));
  EXPECT_EQ(rows.rowCount(), 3);

  // Choosing a listed row makes it the grid's current row.
  pane.findChild<QAbstractItemView*>(QStringLiteral("FilteredRows"))->setCurrentIndex(rows.index(1, 1));
  EXPECT_EQ(Window().LogView().currentIndex().row(), 3);

  pane.FindField()->setText(QStringLiteral("00 01"));
  Analysis().miFindNext->trigger();
  EXPECT_EQ(Window().LogView().currentIndex().row(), 4);
  Analysis().miFindNext->trigger();
  EXPECT_EQ(Window().LogView().currentIndex().row(), 5);
  Analysis().miFindNext->trigger();  // round the end of the log
  EXPECT_EQ(Window().LogView().currentIndex().row(), 0);
  Analysis().miFindPrevious->trigger();
  EXPECT_EQ(Window().LogView().currentIndex().row(), 5);
  pane.FindField()->setText(QStringLiteral("DE AD"));
  Analysis().miFindNext->trigger();
  EXPECT_EQ(pane.Status(), QStringLiteral("Not found"));
  EXPECT_EQ(Window().LogView().currentIndex().row(), 5);

  pane.ShowAll();
  EXPECT_EQ(rows.rowCount(), 8);
  Window().Log().Clear();
  EXPECT_EQ(rows.rowCount(), 0);
}

TEST_F(FrameAnalysisTest, FilterPaneKeys_CtrlFGoesToFind_TabAndEscapeLeaveTheList_CtrlCCopiesRows) {
  StartProgram();
  LogMixedTraffic();
  Window().show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&Window()));
  LogFilterPane& pane = Analysis().FilterPane();
  PacketLogView& grid = Window().LogView();
  const auto press = [](Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(static_cast<QWidget*>(nullptr), key, modifiers);
  };

  grid.setFocus();
  press(Qt::Key_F, Qt::ControlModifier);
  EXPECT_TRUE(pane.isVisible());
  EXPECT_EQ(QApplication::focusWidget(), pane.FindField());
  grid.setFocus();
  press(Qt::Key_F, Qt::ControlModifier);  // the pane open: to the field, not closed
  EXPECT_TRUE(pane.isVisible());
  EXPECT_EQ(QApplication::focusWidget(), pane.FindField());

  auto* list = pane.findChild<QAbstractItemView*>(QStringLiteral("FilteredRows"));
  ASSERT_NE(list, nullptr);
  for (Qt::Key key : {Qt::Key_Tab, Qt::Key_Backtab, Qt::Key_Escape}) {
    SCOPED_TRACE(key);
    list->setFocus();
    list->setCurrentIndex(pane.Model().index(1, 1));
    press(key);
    EXPECT_NE(QApplication::focusWidget(), list);
    if (key == Qt::Key_Escape) {
      EXPECT_EQ(QApplication::focusWidget(), &grid);
    }
  }

  // The third listed row is log row 3; the grid's copy of it is the measure.
  grid.setCurrentIndex(Window().Log().index(2, 1));
  grid.CopyRows(LogFileFormat::kText);
  const QString gridCopy = QApplication::clipboard()->text();
  ASSERT_TRUE(gridCopy.contains(u'\t'));
  QApplication::clipboard()->clear();
  list->setFocus();
  list->setCurrentIndex(pane.Model().index(2, 1));
  press(Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text(), gridCopy);
}

}  // namespace
}  // namespace tessaly::test
