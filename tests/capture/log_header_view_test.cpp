// The grid's column header reads the selection from its ranges, yet must
// look exactly as Qt's own highlighting header does for the same selection,
// and must not ask the model about every row of a wholly selected column.
#include "views/log_header_view.h"
#include "views/section_highlights.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QImage>
#include <QItemSelectionModel>
#include <QPalette>

#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

namespace tessaly {
namespace {

// Rows that exist only as numbers, counting how often a view asks about one.
class RowsModel : public QAbstractTableModel {
 public:
  explicit RowsModel(int rows) : rows_(rows) {}
  void Append(int rows) {
    beginInsertRows({}, rows_, rows_ + rows - 1);
    rows_ += rows;
    endInsertRows();
  }
  int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : rows_; }
  int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : 3; }
  QVariant data(const QModelIndex&, int) const override { return {}; }
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole) return QStringLiteral("Column %1").arg(section);
    return QAbstractTableModel::headerData(section, orientation, role);
  }
  Qt::ItemFlags flags(const QModelIndex& index) const override {
    ++flagCalls;
    return QAbstractTableModel::flags(index);
  }

  mutable long flagCalls = 0;

 private:
  int rows_;
};

struct Cell {
  int top, left, bottom, right;
};

struct Case {
  const char* what;
  std::vector<Cell> ranges;
};

class LogHeaderViewTest : public testing::Test {
 protected:
  LogHeaderViewTest() {
    for (QHeaderView* header : {static_cast<QHeaderView*>(&ours), &plain}) {
      header->setModel(&model);
      header->setSelectionModel(&selection);
      header->setSectionsClickable(true);
      header->setHighlightSections(true);
      header->resize(330, 30);
    }
  }
  void Select(const std::vector<Cell>& ranges) {
    QItemSelection chosen;
    for (const Cell& c : ranges) chosen.select(model.index(c.top, c.left), model.index(c.bottom, c.right));
    selection.select(chosen, QItemSelectionModel::ClearAndSelect);
  }
  static QImage Drawn(QHeaderView& header) {
    return header.grab().toImage().convertToFormat(QImage::Format_RGB32);
  }

  RowsModel model{40};
  QItemSelectionModel selection{&model};
  LogHeaderView ours{Qt::Horizontal};
  QHeaderView plain{Qt::Horizontal};
};

const std::vector<Case> kSelections = {
    {"nothing", {}},
    {"one row", {{7, 0, 7, 2}}},
    {"some rows", {{2, 0, 5, 2}, {9, 0, 9, 2}}},
    {"one whole column", {{0, 1, 39, 1}}},
    {"part of a column", {{0, 1, 38, 1}}},
    {"a column whole in two pieces", {{0, 2, 19, 2}, {20, 2, 39, 2}}},
    {"a column with a gap", {{0, 2, 18, 2}, {20, 2, 39, 2}}},
    {"two whole columns side by side", {{0, 0, 39, 1}}},
    {"a whole column beside a touched one", {{0, 0, 39, 0}, {3, 1, 3, 1}}},
    {"all", {{0, 0, 39, 2}}},
};

TEST_F(LogHeaderViewTest, SelectionsOfRowsColumnsAndAll_LookAsQtsHighlightingHeader) {
  for (const char* theme : {"light", "dark"}) {
    if (QString::fromLatin1(theme) == QLatin1String("dark")) {
      QPalette dark;
      dark.setColor(QPalette::Button, QColor(0x35, 0x35, 0x35));
      dark.setColor(QPalette::ButtonText, Qt::white);
      dark.setColor(QPalette::Window, QColor(0x35, 0x35, 0x35));
      dark.setColor(QPalette::WindowText, Qt::white);
      dark.setColor(QPalette::Highlight, QColor(0x2A, 0x82, 0xDA));
      ours.setPalette(dark);
      plain.setPalette(dark);
    }
    for (const Case& c : kSelections) {
      Select(c.ranges);
      EXPECT_EQ(Drawn(ours), Drawn(plain)) << c.what << ", " << theme;
      const QBitArray bits = ours.Highlights();
      for (int column = 0; column < 3; ++column) {
        EXPECT_EQ(SectionTouched(bits, column), selection.columnIntersectsSelection(column, {}))
            << c.what << ", column " << column;
        EXPECT_EQ(SectionWhole(bits, column), selection.isColumnSelected(column, {}))
            << c.what << ", column " << column;
      }
    }
  }
}

TEST_F(LogHeaderViewTest, RowsAddedBelowAWholeColumn_ItIsNoLongerWhole) {
  Select({{0, 0, 39, 2}});
  EXPECT_TRUE(SectionWhole(ours.Highlights(), 1));
  model.Append(1);
  EXPECT_FALSE(SectionWhole(ours.Highlights(), 1));
  EXPECT_TRUE(SectionTouched(ours.Highlights(), 1));
  EXPECT_EQ(Drawn(ours), Drawn(plain));
}

// Qt's header asks the model about rows of a selected column on every paint;
// with millions of rows selected that was a second of a frozen window.
TEST(LogHeaderViewRows, AllOfAMillionRowsSelected_PaintingAsksAboutNoRow) {
  RowsModel model(1'000'000);
  QItemSelectionModel selection(&model);
  LogHeaderView header(Qt::Horizontal);
  header.setModel(&model);
  header.setSelectionModel(&selection);
  header.setSectionsClickable(true);
  header.setHighlightSections(true);
  header.resize(330, 30);
  selection.select(QItemSelection(model.index(0, 0), model.index(999'999, 2)),
                   QItemSelectionModel::ClearAndSelect);
  model.flagCalls = 0;
  const QImage drawn = header.grab().toImage();
  EXPECT_LT(model.flagCalls, 100);
  EXPECT_TRUE(SectionWhole(header.Highlights(), 2));
}

// Watching the view's selection must leave the base header's own hold on
// the model alone: a window takes its model down before its widgets, and
// the header, hidden then, asks for its size again.
TEST(LogHeaderViewModel, ModelGoneBeforeTheHeader_HeaderFallsBackToNoModel) {
  auto model = std::make_unique<RowsModel>(10);
  auto* selection = new QItemSelectionModel(model.get());  // the model's child
  LogHeaderView header(Qt::Horizontal);
  header.setModel(model.get());  // with a selection model of its own first
  header.setSelectionModel(selection);
  header.resize(330, 30);
  model.reset();
  header.sizeHint();
  header.grab();
}

}  // namespace
}  // namespace tessaly
