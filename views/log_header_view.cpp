#include "views/log_header_view.h"

#include "views/section_highlights.h"

#include <QItemSelectionModel>
#include <QStyleOptionHeader>

namespace tessaly {

LogHeaderView::LogHeaderView(Qt::Orientation orientation, QWidget* parent)
    : QHeaderView(orientation, parent) {}

void LogHeaderView::setSelectionModel(QItemSelectionModel* selectionModel) {
  if (selectionModel == nullptr || selectionModel == blank_) {
    QHeaderView::setSelectionModel(selectionModel);
    return;
  }
  Watch(selectionModel);
  if (blank_ == nullptr || blank_->model() != selectionModel->model()) {
    QItemSelectionModel* old = blank_;
    blank_ = new QItemSelectionModel(selectionModel->model(), this);
    QHeaderView::setSelectionModel(blank_);
    // The base header has let go of it now.
    if (old != nullptr) old->deleteLater();
  }
  Recheck();
}

void LogHeaderView::Watch(QItemSelectionModel* selection) {
  if (selection == shownSelection_) return;
  // Only this header's own: the base header hears the same model.
  for (const QMetaObject::Connection& connection : watching_) disconnect(connection);
  watching_.clear();
  shownSelection_ = selection;
  watching_.push_back(connect(selection, &QItemSelectionModel::selectionChanged, this, &LogHeaderView::Recheck));
  watching_.push_back(connect(selection, &QItemSelectionModel::modelChanged, this, &LogHeaderView::Recheck));
  if (const QAbstractItemModel* model = selection->model()) {
    // A column wholly selected stops being so when rows are added, and may
    // become so when rows go.
    for (auto change : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved,
                        &QAbstractItemModel::columnsInserted, &QAbstractItemModel::columnsRemoved}) {
      watching_.push_back(connect(model, change, this, &LogHeaderView::Recheck));
    }
    watching_.push_back(connect(model, &QAbstractItemModel::modelReset, this, &LogHeaderView::Recheck));
  }
}

QBitArray LogHeaderView::Highlights() const {
  const QItemSelectionModel* selection = shownSelection_;
  if (selection == nullptr || selection->model() == nullptr || !selection->hasSelection()) {
    return QBitArray(2 * count());
  }
  const QAbstractItemModel& model = *selection->model();
  const int length = orientation() == Qt::Horizontal ? model.rowCount(rootIndex())
                                                     : model.columnCount(rootIndex());
  return SectionHighlights(selection->selection(), orientation(), count(), length, rootIndex());
}

void LogHeaderView::Recheck() {
  QBitArray now = Highlights();
  if (now == shown_) return;
  shown_ = std::move(now);
  viewport()->update();
}

void LogHeaderView::initStyleOptionForIndex(QStyleOptionHeader* option, int logicalIndex) const {
  // The base header fills in all but the selection: its own is blank.
  QHeaderView::initStyleOptionForIndex(option, logicalIndex);
  // A pressed section is sunken already and shows nothing more.
  if (sectionsClickable() && highlightSections() && !(option->state & QStyle::State_Sunken)) {
    if (SectionTouched(shown_, logicalIndex)) option->state |= QStyle::State_On;
    if (SectionWhole(shown_, logicalIndex)) option->state |= QStyle::State_Sunken;
  }
  const int visual = visualIndex(logicalIndex);
  const bool previous = SectionWhole(shown_, this->logicalIndex(visual - 1));
  const bool next = SectionWhole(shown_, this->logicalIndex(visual + 1));
  if (previous && next) {
    option->selectedPosition = QStyleOptionHeader::NextAndPreviousAreSelected;
  } else if (previous) {
    option->selectedPosition = QStyleOptionHeader::PreviousIsSelected;
  } else if (next) {
    option->selectedPosition = QStyleOptionHeader::NextIsSelected;
  } else {
    option->selectedPosition = QStyleOptionHeader::NotAdjacent;
  }
}

void LogHeaderView::paintEvent(QPaintEvent* event) {
  // Whatever made the header repaint, it shows the selection as it is.
  shown_ = Highlights();
  QHeaderView::paintEvent(event);
}

}  // namespace tessaly
