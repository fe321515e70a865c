#include "views/row_number_strip.h"

#include <QAbstractItemModel>
#include <QHeaderView>
#include <QPainter>
#include <QScrollBar>

#include <functional>

namespace tessaly {

RowNumberStrip::RowNumberStrip(UniformRowTableView& grid, std::function<int()> packetCount, QWidget* parent)
    : QWidget(parent), grid_(grid), packetCount_(std::move(packetCount)) {
  setObjectName(QStringLiteral("RowNumbers"));
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
  // Repainted with the grid's rows: when they scroll, and when rows come
  // (a wider number widens the strip).
  connect(grid.verticalScrollBar(), &QScrollBar::valueChanged, this, qOverload<>(&QWidget::update));
  const auto rowsChanged = [this] {
    FitWidth();
    if (isVisible()) update();
  };
  connect(grid.model(), &QAbstractItemModel::rowsInserted, this, rowsChanged);
  connect(grid.model(), &QAbstractItemModel::rowsRemoved, this, rowsChanged);
  connect(grid.model(), &QAbstractItemModel::modelReset, this, rowsChanged);
  connect(grid.selectionModel(), &QItemSelectionModel::currentRowChanged, this, qOverload<>(&QWidget::update));
  FitWidth();
}

void RowNumberStrip::FitWidth() {
  const int digits = QString::number(std::max(1, packetCount_())).size();
  // Room for one digit more than needed, so the strip does not widen
  // at every tenfold.
  const int shown = std::max(4, digits + 1);
  if (shown == digits_) return;
  digits_ = shown;
  updateGeometry();
}

QSize RowNumberStrip::sizeHint() const {
  return {fontMetrics().horizontalAdvance(QString(digits_, u'0')) + 8, 0};
}

int RowNumberStrip::RowsTop() const {
  // Through the window both are in: the grid is not inside the strip.
  return mapFrom(window(), grid_.viewport()->mapTo(window(), QPoint(0, 0))).y();
}

int RowNumberStrip::NumberAt(int y) const {
  const int row = grid_.rowAt(y - RowsTop());
  return row >= 0 && row < packetCount_() ? row + 1 : 0;
}

void RowNumberStrip::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().button());
  const int top = RowsTop();
  painter.setClipRect(QRect(0, top, width(), grid_.viewport()->height()));
  const int packets = packetCount_();
  const int first = grid_.rowAt(0);
  if (first < 0) return;
  int last = grid_.rowAt(grid_.viewport()->height() - 1);
  if (last < 0) last = grid_.model()->rowCount() - 1;
  last = std::min(last, packets - 1);
  const int current = grid_.currentIndex().isValid() ? grid_.currentIndex().row() : -1;
  QFont bold = font();
  bold.setBold(true);
  painter.setPen(palette().buttonText().color());
  for (int row = first; row <= last; ++row) {
    const QRect cell(0, top + grid_.rowViewportPosition(row), width() - 4, grid_.RowHeight());
    painter.setFont(row == current ? bold : font());
    painter.drawText(cell, Qt::AlignRight | Qt::AlignVCenter, QString::number(row + 1));
  }
}

}  // namespace tessaly
