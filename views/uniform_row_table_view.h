#pragma once

#include <QAbstractItemView>

class QHeaderView;

namespace tessaly {

class RowNumberMargin;

// A table view whose rows all have one height and no row header. A row's
// place is its number times the height, so the view keeps nothing per row:
// appending a row, scrolling to it and painting cost the same at the ten
// millionth row as at the first. (A table view with a row header keeps a
// record for every row and, after each insertion, walks all of them again
// to find where the rows lie, even when the header is hidden and the rows
// cannot be resized.)
//
// It draws like a table view with its row header hidden: a column header
// above, cells through the item delegates, the style's grid lines, whole
// rows or single cells selected. Scrolling is by pixel. A row header that
// shows the model's row labels can be added (ShowRowNumbers).
class UniformRowTableView : public QAbstractItemView {
  Q_OBJECT

 public:
  explicit UniformRowTableView(QWidget* parent = nullptr);
  ~UniformRowTableView() override;

  void setModel(QAbstractItemModel* model) override;
  void setSelectionModel(QItemSelectionModel* selectionModel) override;

  QHeaderView* horizontalHeader() const { return columns_; }
  // Takes the header (the view owns it) in place of the one it made.
  void setHorizontalHeader(QHeaderView* header);

  // A margin left of the rows with each row's label from the model.
  void ShowRowNumbers(bool shown);

  int RowHeight() const { return rowHeight_; }
  void SetRowHeight(int pixels);
  int columnWidth(int column) const;
  void setColumnWidth(int column, int width);

  // Where a row or column starts in the viewport, and what lies at a
  // viewport position (-1 for none).
  int rowViewportPosition(int row) const;
  int columnViewportPosition(int column) const;
  int rowAt(int y) const;
  int columnAt(int x) const;

  void selectRow(int row);

  QRect visualRect(const QModelIndex& index) const override;
  void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;
  QModelIndex indexAt(const QPoint& point) const override;

 protected:
  QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
  int horizontalOffset() const override;
  int verticalOffset() const override;
  bool isIndexHidden(const QModelIndex& index) const override;
  void setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command) override;
  QRegion visualRegionForSelection(const QItemSelection& selection) const override;
  void updateGeometries() override;
  void scrollContentsBy(int dx, int dy) override;
  void paintEvent(QPaintEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void rowsInserted(const QModelIndex& parent, int start, int end) override;
  void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) override;

  int RowCount() const;

 private:
  void ConnectHeader();
  // The rectangle of rows first..last (clipped to a little beyond the
  // viewport, so far rows cannot overflow it) across columns left..right.
  QRect RowsRect(int first, int last, int left, int right) const;
  void PaintCell(QPainter& painter, QStyleOptionViewItem option, const QModelIndex& index) const;

  QHeaderView* columns_ = nullptr;
  RowNumberMargin* rowNumbers_ = nullptr;
  int rowHeight_ = 20;
  bool layingOut_ = false;  // setting the margins resizes the viewport again
};

}  // namespace tessaly
