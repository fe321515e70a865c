#include "views/line_name_strip.h"

#include <QAbstractItemModel>
#include <QHeaderView>
#include <QPainter>
#include <QScrollBar>
#include <QStyleOptionHeader>

#include <algorithm>

namespace tessaly {
namespace {

constexpr int kTextMargin = 5;

}  // namespace

LineNameStrip::LineNameStrip(UniformRowTableView& grid, std::function<QString(int)> nameOf, QWidget* parent)
    : QWidget(parent), grid_(grid), nameOf_(std::move(nameOf)) {
  setObjectName(QStringLiteral("LineNames"));
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
  connect(grid.verticalScrollBar(), &QScrollBar::valueChanged, this, qOverload<>(&QWidget::update));
  const auto rowsChanged = [this] {
    if (isVisible()) update();
  };
  connect(grid.model(), &QAbstractItemModel::rowsInserted, this, rowsChanged);
  connect(grid.model(), &QAbstractItemModel::modelReset, this, rowsChanged);
  connect(grid.model(), &QAbstractItemModel::dataChanged, this, rowsChanged);
  FitNames({});
}

void LineNameStrip::FitNames(const QStringList& names) {
  int widest = fontMetrics().horizontalAdvance(HeaderText());
  for (const QString& name : names) widest = std::max(widest, fontMetrics().horizontalAdvance(name));
  // A name as long as a sentence must not squeeze the packet data away.
  widest = std::min(widest, fontMetrics().horizontalAdvance(QString(12, u'M')));
  // Room for the text's margins on both sides and a pixel of rounding.
  const int width = widest + 2 * kTextMargin + 2;
  if (width == width_) return;
  width_ = width;
  updateGeometry();
  update();
}

QSize LineNameStrip::sizeHint() const { return {width_, 0}; }

int LineNameStrip::RowsTop() const {
  return mapFrom(window(), grid_.viewport()->mapTo(window(), QPoint(0, 0))).y();
}

QString LineNameStrip::NameAt(int y) const {
  const int row = grid_.rowAt(y - RowsTop());
  return row >= 0 ? nameOf_(row) : QString();
}

void LineNameStrip::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().base());
  const int top = RowsTop();
  // The header cell, level with the grid's own header.
  if (const QHeaderView* header = grid_.horizontalHeader(); header != nullptr && header->isVisible()) {
    QStyleOptionHeader option;
    option.initFrom(this);
    option.rect = QRect(0, top - header->height(), width(), header->height());
    option.text = HeaderText();
    option.textAlignment = Qt::AlignCenter;
    option.orientation = Qt::Horizontal;
    option.position = QStyleOptionHeader::OnlyOneSection;
    style()->drawControl(QStyle::CE_Header, &option, &painter, this);
  }
  painter.setClipRect(QRect(0, top, width(), grid_.viewport()->height()));
  const int first = grid_.rowAt(0);
  if (first < 0) return;
  int last = grid_.rowAt(grid_.viewport()->height() - 1);
  if (last < 0) last = grid_.model()->rowCount() - 1;
  QAbstractItemModel* model = grid_.model();
  painter.setPen(palette().text().color());
  for (int row = first; row <= last; ++row) {
    const QRect cell(0, top + grid_.rowViewportPosition(row), width(), grid_.RowHeight());
    // The row's own shade, so that the line reads across the whole row.
    const QVariant shade = model->data(model->index(row, 0), Qt::BackgroundRole);
    if (shade.canConvert<QBrush>()) painter.fillRect(cell, shade.value<QBrush>());
    const QRect text = cell.adjusted(kTextMargin, 0, -kTextMargin, 0);
    painter.drawText(text, Qt::AlignLeft | Qt::AlignVCenter,
                     fontMetrics().elidedText(nameOf_(row), Qt::ElideRight, text.width() + 1));
  }
}

}  // namespace tessaly
