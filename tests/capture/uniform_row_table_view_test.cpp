// The table of one row height keeps nothing per row: appending to a long
// table asks the model for as much as appending to a short one, and rows far
// down are placed, found and selected by arithmetic alone.
#include "views/uniform_row_table_view.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

namespace tessaly {
namespace {

// Rows that only exist as numbers, counting what a view asks of them.
class CountingModel : public QAbstractTableModel {
 public:
  void Append(int rows) {
    beginInsertRows({}, rows_, rows_ + rows - 1);
    rows_ += rows;
    endInsertRows();
  }
  int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : rows_; }
  int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : 2; }
  QVariant data(const QModelIndex& index, int role) const override {
    if (role == Qt::DisplayRole) ++dataCalls;
    return role == Qt::DisplayRole ? QVariant(index.row() * 10 + index.column()) : QVariant();
  }

  mutable int dataCalls = 0;

 private:
  int rows_ = 0;
};

class UniformRowTableViewTest : public testing::Test {
 protected:
  UniformRowTableViewTest() {
    view.setModel(&model);
    view.SetRowHeight(20);
    view.setSelectionBehavior(QAbstractItemView::SelectRows);
    view.setSelectionMode(QAbstractItemView::ExtendedSelection);
    view.resize(400, 300);
    view.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&view));
  }
  // Appends one row, follows it as the log grid does, and counts the texts
  // the view asked for to show it.
  int DataCallsForOneMoreRow() {
    QApplication::processEvents();
    model.dataCalls = 0;
    model.Append(1);
    const QModelIndex last = model.index(model.rowCount() - 1, 1);
    view.setCurrentIndex(last);
    view.scrollTo(last);
    QApplication::processEvents();
    return model.dataCalls;
  }

  CountingModel model;
  UniformRowTableView view;
};

TEST_F(UniformRowTableViewTest, AppendingToAMillionRows_AsksNoMoreThanToAThousand_KeepsNoRowHeader) {
  model.Append(1000);
  const int shortLog = DataCallsForOneMoreRow();
  model.Append(1'000'000);
  const int longLog = DataCallsForOneMoreRow();
  EXPECT_GT(shortLog, 0) << "the new row was painted";
  EXPECT_EQ(longLog, shortLog);
  // The only header is the column header, with a section per column.
  const QList<QHeaderView*> headers = view.findChildren<QHeaderView*>();
  ASSERT_EQ(headers.size(), 1);
  EXPECT_EQ(headers[0]->orientation(), Qt::Horizontal);
  EXPECT_EQ(headers[0]->count(), 2);
  EXPECT_EQ(view.verticalScrollBar()->maximum(), 1'001'002 * 20 - view.viewport()->height());
}

TEST_F(UniformRowTableViewTest, FarRowsArePlacedFoundAndSelectedByTheirNumber) {
  model.Append(2'000'000);
  const QModelIndex far = model.index(1'500'000, 1);
  view.scrollTo(far, QAbstractItemView::PositionAtTop);
  EXPECT_EQ(view.rowViewportPosition(1'500'000), 0);
  EXPECT_EQ(view.rowAt(25), 1'500'001);
  EXPECT_EQ(view.indexAt(view.visualRect(far).center()), far);
  EXPECT_EQ(view.rowAt(view.viewport()->height() + 2'000'000 * 20), -1) << "below the last row";

  // Shift+arrows and Shift+Page Down extend the selection from a far row,
  // as whole rows in one range.
  view.setCurrentIndex(far);
  QTest::keyClick(&view, Qt::Key_Down, Qt::ShiftModifier);
  QTest::keyClick(&view, Qt::Key_PageDown, Qt::ShiftModifier);
  const int page = view.viewport()->height() / 20;
  EXPECT_EQ(view.currentIndex().row(), 1'500'001 + page);
  const QItemSelection selection = view.selectionModel()->selection();
  ASSERT_EQ(selection.size(), 1);
  EXPECT_EQ(selection[0].top(), 1'500'000);
  EXPECT_EQ(selection[0].bottom(), 1'500'001 + page);
  EXPECT_EQ(selection[0].left(), 0);
  EXPECT_EQ(selection[0].right(), 1);
  QTest::keyClick(&view, Qt::Key_End, Qt::ControlModifier);
  EXPECT_EQ(view.currentIndex().row(), 1'999'999);
  QTest::keyClick(&view, Qt::Key_Home, Qt::ControlModifier);
  EXPECT_EQ(view.currentIndex().row(), 0);

  // A click selects the row under the pointer.
  QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, QPoint(10, 45));
  EXPECT_EQ(view.currentIndex().row(), 2);
  EXPECT_TRUE(view.selectionModel()->isRowSelected(2, {}));
}

}  // namespace
}  // namespace tessaly
