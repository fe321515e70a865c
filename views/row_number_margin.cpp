#include "views/row_number_margin.h"

#include "views/uniform_row_table_view.h"

#include <QAbstractItemModel>
#include <QItemSelectionModel>
#include <QPaintEvent>
#include <QPainter>
#include <QStyleOptionHeader>

#include <algorithm>

namespace tessaly {

RowNumberMargin::RowNumberMargin(UniformRowTableView& view) : QWidget(&view), view_(view) {}

int RowNumberMargin::NeededWidth() const {
  const QAbstractItemModel* model = view_.model();
  const int rows = model != nullptr ? model->rowCount(view_.rootIndex()) : 0;
  QStyleOptionHeader option;
  option.initFrom(this);
  // Every digit as wide as the widest, so the margin keeps its width while
  // the numbers count up within the same number of digits.
  const QString last = rows > 0 ? model->headerData(rows - 1, Qt::Vertical).toString() : QString();
  option.text = QString(std::max<qsizetype>(last.size(), 1), u'8');
  option.orientation = Qt::Vertical;
  return style()->sizeFromContents(QStyle::CT_HeaderSection, &option, QSize(), this).width();
}

void RowNumberMargin::paintEvent(QPaintEvent* event) {
  const QAbstractItemModel* model = view_.model();
  if (model == nullptr) return;
  const int rows = model->rowCount(view_.rootIndex());
  const int first = std::max(view_.rowAt(std::max(event->rect().top(), 0)), 0);
  int last = view_.rowAt(event->rect().bottom());
  if (last < 0) last = rows - 1;
  QPainter painter(this);
  const QItemSelectionModel* selection = view_.selectionModel();
  for (int row = first; row <= last && row < rows; ++row) {
    QStyleOptionHeader option;
    option.initFrom(this);
    option.rect = QRect(0, view_.rowViewportPosition(row), width(), view_.RowHeight());
    option.section = row;
    option.orientation = Qt::Vertical;
    option.textAlignment = Qt::AlignCenter;
    option.position = QStyleOptionHeader::Middle;
    option.text = model->headerData(row, Qt::Vertical).toString();
    painter.save();
    if (selection != nullptr && selection->isRowSelected(row, view_.rootIndex())) {
      option.state |= QStyle::State_On;
      QFont bold = font();
      bold.setBold(true);
      painter.setFont(bold);
    }
    style()->drawControl(QStyle::CE_Header, &option, &painter, this);
    painter.restore();
  }
}

}  // namespace tessaly
