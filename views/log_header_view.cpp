#include "views/log_header_view.h"

#include <QItemSelectionModel>

namespace tessaly {

LogHeaderView::LogHeaderView(Qt::Orientation orientation, QWidget* parent)
    : QHeaderView(orientation, parent) {}

QBitArray LogHeaderView::Highlights() const {
  const int sections = count();
  QBitArray highlights(2 * sections);
  const QItemSelectionModel* selection = selectionModel();
  if (selection == nullptr || !selection->hasSelection()) return highlights;
  for (int section = 0; section < sections; ++section) {
    const bool touched = orientation() == Qt::Horizontal
                             ? selection->columnIntersectsSelection(section, rootIndex())
                             : selection->rowIntersectsSelection(section, rootIndex());
    const bool whole = orientation() == Qt::Horizontal ? selection->isColumnSelected(section, rootIndex())
                                                       : selection->isRowSelected(section, rootIndex());
    highlights.setBit(2 * section, touched);
    highlights.setBit(2 * section + 1, whole);
  }
  return highlights;
}

void LogHeaderView::selectionChanged(const QItemSelection& selected,
                                     const QItemSelection& deselected) {
  if (!highlightSections()) {
    QHeaderView::selectionChanged(selected, deselected);
    return;
  }
  QBitArray now = Highlights();
  if (now == shown_) return;
  shown_ = std::move(now);
  QHeaderView::selectionChanged(selected, deselected);
}

void LogHeaderView::paintEvent(QPaintEvent* event) {
  // Whatever else made the header repaint, it now shows the selection as
  // it is.
  shown_ = Highlights();
  QHeaderView::paintEvent(event);
}

}  // namespace tessaly
