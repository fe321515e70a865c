#include "views/uniform_row_table_view.h"

#include "views/log_header_view.h"
#include "views/row_number_margin.h"

#include <QHeaderView>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <climits>
#include <vector>

namespace tessaly {

namespace {

int ClampToInt(qint64 value) {
  return static_cast<int>(std::clamp<qint64>(value, INT_MIN, INT_MAX));
}

}  // namespace

UniformRowTableView::UniformRowTableView(QWidget* parent) : QAbstractItemView(parent) {
  // As a table view: Tab moves from cell to cell, any key starts an edit
  // where editing is allowed at all.
  setTabKeyNavigation(true);
  setEditTriggers(editTriggers() | QAbstractItemView::AnyKeyPressed);
  // A header that reads the selection from its ranges (a plain one walks
  // every row of a wholly selected column on each paint).
  auto* columns = new LogHeaderView(Qt::Horizontal, this);
  columns->setSectionsClickable(true);
  columns->setHighlightSections(true);
  setHorizontalHeader(columns);
}

UniformRowTableView::~UniformRowTableView() {
  // QWidget's destructor, which runs after this one, hides the header, and
  // a header that hides says its geometry changed: that must not reach the
  // slots of a view whose own part is gone.
  if (columns_ != nullptr) disconnect(columns_, nullptr, this, nullptr);
}

void UniformRowTableView::setModel(QAbstractItemModel* model) {
  if (this->model() != nullptr) disconnect(this->model(), nullptr, this, nullptr);
  // The header first: the view hands it the new model's selection.
  columns_->setModel(model);
  QAbstractItemView::setModel(model);
  if (model != nullptr) {
    // Nothing else tells the view that rows went (a table view hears it
    // from its row header).
    connect(model, &QAbstractItemModel::rowsRemoved, this, [this] {
      updateGeometries();
      viewport()->update();
    });
  }
}

void UniformRowTableView::setSelectionModel(QItemSelectionModel* selectionModel) {
  QAbstractItemView::setSelectionModel(selectionModel);
  columns_->setSelectionModel(selectionModel);
}

void UniformRowTableView::setHorizontalHeader(QHeaderView* header) {
  if (header == nullptr || header == columns_) return;
  delete columns_;
  columns_ = header;
  columns_->setParent(this);
  if (columns_->model() == nullptr && model() != nullptr) {
    columns_->setModel(model());
    if (selectionModel() != nullptr) columns_->setSelectionModel(selectionModel());
  }
  ConnectHeader();
  updateGeometries();
}

void UniformRowTableView::ConnectHeader() {
  const auto relayout = [this] {
    updateGeometries();
    viewport()->update();
  };
  connect(columns_, &QHeaderView::sectionResized, this, relayout);
  connect(columns_, &QHeaderView::sectionCountChanged, this, relayout);
  connect(columns_, &QHeaderView::sectionMoved, this, relayout);
  connect(columns_, &QHeaderView::geometriesChanged, this, &UniformRowTableView::updateGeometries);
}

void UniformRowTableView::ShowRowNumbers(bool shown) {
  if (shown && rowNumbers_ == nullptr) rowNumbers_ = new RowNumberMargin(*this);
  if (rowNumbers_ != nullptr) rowNumbers_->setVisible(shown);
  updateGeometries();
}

void UniformRowTableView::SetRowHeight(int pixels) {
  rowHeight_ = std::max(1, pixels);
  updateGeometries();
  viewport()->update();
}

int UniformRowTableView::columnWidth(int column) const { return columns_->sectionSize(column); }

void UniformRowTableView::setColumnWidth(int column, int width) {
  columns_->resizeSection(column, width);
}

int UniformRowTableView::RowCount() const {
  return model() != nullptr ? model()->rowCount(rootIndex()) : 0;
}

int UniformRowTableView::rowViewportPosition(int row) const {
  return ClampToInt(qint64{row} * rowHeight_ - verticalOffset());
}

int UniformRowTableView::columnViewportPosition(int column) const {
  return columns_->sectionViewportPosition(column);
}

int UniformRowTableView::rowAt(int y) const {
  const qint64 content = qint64{y} + verticalOffset();
  if (content < 0) return -1;
  const qint64 row = content / rowHeight_;
  return row < RowCount() ? static_cast<int>(row) : -1;
}

int UniformRowTableView::columnAt(int x) const { return columns_->logicalIndexAt(x); }

void UniformRowTableView::selectRow(int row) {
  if (model() == nullptr || row < 0 || row >= RowCount()) return;
  const QModelIndex index = model()->index(row, 0, rootIndex());
  const QItemSelectionModel::SelectionFlags command = selectionCommand(index);
  selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
  const int lastColumn = model()->columnCount(rootIndex()) - 1;
  const QItemSelection selection(index, model()->index(row, lastColumn, rootIndex()));
  selectionModel()->select(selection, command | QItemSelectionModel::Rows);
}

QRect UniformRowTableView::visualRect(const QModelIndex& index) const {
  if (!index.isValid() || index.parent() != rootIndex()) return {};
  // One pixel at the right and bottom belongs to the grid lines.
  return QRect(columnViewportPosition(index.column()), rowViewportPosition(index.row()),
               columnWidth(index.column()) - 1, rowHeight_ - 1);
}

void UniformRowTableView::scrollTo(const QModelIndex& index, ScrollHint hint) {
  if (!index.isValid() || index.parent() != rootIndex()) return;
  const qint64 top = qint64{index.row()} * rowHeight_;
  const int height = viewport()->height();
  QScrollBar* bar = verticalScrollBar();
  const qint64 offset = bar->value();
  switch (hint) {
    case PositionAtTop:
      bar->setValue(ClampToInt(top));
      break;
    case PositionAtBottom:
      bar->setValue(ClampToInt(top + rowHeight_ - height));
      break;
    case PositionAtCenter:
      bar->setValue(ClampToInt(top - (height - rowHeight_) / 2));
      break;
    case EnsureVisible:
      if (top < offset) {
        bar->setValue(ClampToInt(top));
      } else if (top + rowHeight_ > offset + height) {
        bar->setValue(ClampToInt(top + rowHeight_ - height));
      }
      break;
  }
  // Across, as a table view scrolls by pixel: a cell wider than the view
  // shows its start.
  const int left = columns_->sectionPosition(index.column());
  const int width = columnWidth(index.column());
  const int across = viewport()->width();
  QScrollBar* acrossBar = horizontalScrollBar();
  if (hint == PositionAtCenter) {
    acrossBar->setValue(left - (across - width) / 2);
  } else if (left < acrossBar->value() || width > across) {
    acrossBar->setValue(left);
  } else if (left + width > acrossBar->value() + across) {
    acrossBar->setValue(left + width - across);
  }
  update(index);
}

QModelIndex UniformRowTableView::indexAt(const QPoint& point) const {
  const int row = rowAt(point.y());
  const int column = columnAt(point.x());
  if (row < 0 || column < 0) return {};
  return model()->index(row, column, rootIndex());
}

QModelIndex UniformRowTableView::moveCursor(CursorAction cursorAction,
                                            Qt::KeyboardModifiers modifiers) {
  const int rows = RowCount();
  const int columns = model() != nullptr ? model()->columnCount(rootIndex()) : 0;
  if (rows == 0 || columns == 0) return {};
  const QModelIndex current = currentIndex();
  if (!current.isValid()) return model()->index(0, 0, rootIndex());
  int row = current.row();
  int column = current.column();
  const int page = std::max(1, viewport()->height() / rowHeight_);
  const bool control = modifiers & Qt::ControlModifier;
  switch (cursorAction) {
    case MoveUp:
      --row;
      break;
    case MoveDown:
      ++row;
      break;
    case MoveLeft:
      --column;
      break;
    case MoveRight:
      ++column;
      break;
    case MoveNext:  // Tab: along the row, then on to the next
      if (++column == columns) {
        column = 0;
        row = row + 1 < rows ? row + 1 : 0;
      }
      break;
    case MovePrevious:
      if (--column < 0) {
        column = columns - 1;
        row = row > 0 ? row - 1 : rows - 1;
      }
      break;
    case MoveHome:
      column = 0;
      if (control) row = 0;
      break;
    case MoveEnd:
      column = columns - 1;
      if (control) row = rows - 1;
      break;
    case MovePageUp:
      row -= page;
      break;
    case MovePageDown:
      row += page;
      break;
  }
  return model()->index(std::clamp(row, 0, rows - 1), std::clamp(column, 0, columns - 1), rootIndex());
}

int UniformRowTableView::horizontalOffset() const { return horizontalScrollBar()->value(); }

int UniformRowTableView::verticalOffset() const { return verticalScrollBar()->value(); }

bool UniformRowTableView::isIndexHidden(const QModelIndex&) const { return false; }

void UniformRowTableView::setSelection(const QRect& rect,
                                       QItemSelectionModel::SelectionFlags command) {
  const QRect area = rect.normalized();
  const QModelIndex topLeft = indexAt(area.topLeft());
  const QModelIndex bottomRight = indexAt(area.bottomRight());
  if (selectionModel() == nullptr || !topLeft.isValid() || !bottomRight.isValid()) return;
  int left = topLeft.column();
  int right = bottomRight.column();
  if (selectionBehavior() == SelectRows) {
    left = 0;
    right = model()->columnCount(rootIndex()) - 1;
  }
  const QItemSelection selection(model()->index(topLeft.row(), left, rootIndex()),
                                 model()->index(bottomRight.row(), right, rootIndex()));
  selectionModel()->select(selection, command);
}

QRect UniformRowTableView::RowsRect(int first, int last, int left, int right) const {
  // Rows far off the screen would lie beyond what a rectangle can hold.
  const int top = std::max(rowViewportPosition(first), -rowHeight_);
  const int bottom = std::min(ClampToInt(qint64{last + 1} * rowHeight_ - verticalOffset()),
                              viewport()->height() + rowHeight_);
  const int x = columnViewportPosition(left);
  const int end = columnViewportPosition(right) + columnWidth(right);
  if (bottom <= top || end <= x) return {};
  return QRect(x, top, end - x, bottom - top);
}

QRegion UniformRowTableView::visualRegionForSelection(const QItemSelection& selection) const {
  QRegion region;
  for (const QItemSelectionRange& range : selection) {
    if (!range.isValid() || range.parent() != rootIndex()) continue;
    region += RowsRect(range.top(), range.bottom(), range.left(), range.right());
  }
  return region;
}

void UniformRowTableView::updateGeometries() {
  if (layingOut_ || columns_ == nullptr) return;
  layingOut_ = true;
  const int headerHeight =
      columns_->isHidden() ? 0 : std::max(columns_->minimumHeight(), columns_->sizeHint().height());
  const bool numbered = rowNumbers_ != nullptr && !rowNumbers_->isHidden();
  const int numbersWidth = numbered ? rowNumbers_->NeededWidth() : 0;
  const QMargins margins(numbersWidth, headerHeight, 0, 0);
  // Setting them lays out the scroll area again, even when they are the same.
  if (viewportMargins() != margins) setViewportMargins(margins);
  const QRect area = viewport()->geometry();
  columns_->setGeometry(area.left(), area.top() - headerHeight, area.width(), headerHeight);
  if (numbered) {
    rowNumbers_->setGeometry(area.left() - numbersWidth, area.top(), numbersWidth, area.height());
    rowNumbers_->update();
  }

  QScrollBar* across = horizontalScrollBar();
  across->setSingleStep(std::max(1, columns_->defaultSectionSize() / 5));
  across->setPageStep(area.width());
  across->setRange(0, std::max(0, columns_->length() - area.width()));

  QScrollBar* down = verticalScrollBar();
  down->setSingleStep(rowHeight_);
  down->setPageStep(area.height());
  down->setRange(0, ClampToInt(std::max<qint64>(0, qint64{RowCount()} * rowHeight_ - area.height())));
  layingOut_ = false;
  QAbstractItemView::updateGeometries();
}

void UniformRowTableView::scrollContentsBy(int dx, int dy) {
  if (dx != 0) columns_->setOffset(horizontalScrollBar()->value());
  scrollDirtyRegion(dx, dy);
  viewport()->scroll(dx, dy);
  if (dy != 0 && rowNumbers_ != nullptr) rowNumbers_->update();
}

void UniformRowTableView::selectionChanged(const QItemSelection& selected,
                                           const QItemSelection& deselected) {
  QAbstractItemView::selectionChanged(selected, deselected);
  if (rowNumbers_ != nullptr) rowNumbers_->update();
}

void UniformRowTableView::rowsInserted(const QModelIndex& parent, int start, int end) {
  QAbstractItemView::rowsInserted(parent, start, end);
  // A hidden table is laid out when it is shown (a pane listing every row
  // hears of every packet).
  if (parent != rootIndex() || !isVisible()) return;
  updateGeometries();
  const bool appended = end == RowCount() - 1;
  if (!appended) {
    viewport()->update();
    return;
  }
  // Rows appended: the rows above keep their places, so only the new rows,
  // where visible, need painting.
  const int top = rowViewportPosition(start);
  if (top < viewport()->height()) {
    const int from = std::max(top, 0);
    viewport()->update(0, from, viewport()->width(), viewport()->height() - from);
  }
}

void UniformRowTableView::showEvent(QShowEvent* event) {
  QAbstractItemView::showEvent(event);
  updateGeometries();
}

void UniformRowTableView::PaintCell(QPainter& painter, QStyleOptionViewItem option,
                                    const QModelIndex& index) const {
  if (selectionModel() != nullptr && selectionModel()->isSelected(index)) {
    option.state |= QStyle::State_Selected;
  }
  if (option.state & QStyle::State_Enabled) {
    const bool enabled = model()->flags(index) & Qt::ItemIsEnabled;
    if (!enabled) option.state &= ~QStyle::State_Enabled;
    option.palette.setCurrentColorGroup(enabled ? QPalette::Normal : QPalette::Disabled);
  }
  if (index == currentIndex() && (hasFocus() || viewport()->hasFocus())) {
    option.state |= QStyle::State_HasFocus;
  }
  style()->drawPrimitive(QStyle::PE_PanelItemViewRow, &option, &painter, this);
  itemDelegateForIndex(index)->paint(&painter, option, index);
}

void UniformRowTableView::paintEvent(QPaintEvent* event) {
  const int rows = RowCount();
  const int columns = columns_->count();
  if (rows == 0 || columns == 0) return;
  QStyleOptionViewItem option;
  initViewItemOption(&option);
  option.showDecorationSelected = true;  // the whole cell shows the selection
  const int gridHint = style()->styleHint(QStyle::SH_Table_GridLineColor, &option, this);
  const QPen gridPen(QColor::fromRgba(static_cast<QRgb>(gridHint)), 1, Qt::SolidLine);

  // Each part of the region on its own, as a table view paints it: a region
  // is often a strip here and a row there, and the rows between them are
  // not to be painted. A cell in two parts is painted once.
  const int firstOnScreen = std::max(rowAt(0), 0);
  const int rowsOnScreen = viewport()->height() / rowHeight_ + 2;
  std::vector<bool> painted(static_cast<std::size_t>(rowsOnScreen) * static_cast<std::size_t>(columns));
  QList<QLineF> gridLines;
  QPainter painter(viewport());
  for (QRect area : event->region()) {
    // Within the rows and columns that exist.
    area.setBottom(std::min(area.bottom(), rowViewportPosition(rows) - 1));
    area.setRight(std::min(area.right(), columns_->length() - columns_->offset() - 1));
    if (!area.isValid()) continue;
    const int first = std::max(rowAt(std::max(area.top(), 0)), 0);
    const int last = rowAt(area.bottom()) >= 0 ? rowAt(area.bottom()) : rows - 1;
    const int left = std::max(columns_->visualIndexAt(area.left()), 0);
    int right = columns_->visualIndexAt(area.right());
    if (right < 0) right = columns - 1;

    for (int row = first; row <= last; ++row) {
      const int y = rowViewportPosition(row);
      for (int visual = left; visual <= right; ++visual) {
        const std::size_t cell = static_cast<std::size_t>(row - firstOnScreen) * columns + visual;
        if (cell >= painted.size() || painted[cell]) continue;
        painted[cell] = true;
        const int column = columns_->logicalIndex(visual);
        if (columns_->isSectionHidden(column)) continue;
        const QModelIndex index = model()->index(row, column, rootIndex());
        if (!index.isValid()) continue;
        option.rect = QRect(columnViewportPosition(column), y, columnWidth(column) - 1, rowHeight_ - 1);
        PaintCell(painter, option, index);
      }
    }

    // The grid: a line under every row and right of every column, drawn
    // through pixel centres as a table view draws them; gathered here and
    // drawn in one call below (the cells never reach the lines' pixels).
    for (int row = first; row <= last; ++row) {
      const int y = rowViewportPosition(row) + rowHeight_ - 1;
      gridLines.append(QLineF(area.left(), y, area.right(), y).translated(0.5, 0.5));
    }
    for (int visual = left; visual <= right; ++visual) {
      const int column = columns_->logicalIndex(visual);
      if (columns_->isSectionHidden(column)) continue;
      const int x = columnViewportPosition(column) + columnWidth(column) - 1;
      gridLines.append(QLineF(x, area.top(), x, area.bottom()).translated(0.5, 0.5));
    }
  }
  if (gridLines.isEmpty()) return;
  painter.setPen(gridPen);
  painter.drawLines(gridLines);
}

}  // namespace tessaly
