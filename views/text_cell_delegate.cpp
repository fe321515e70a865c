#include "views/text_cell_delegate.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>

#include <memory>

namespace tessaly {

namespace {

// What the style needs to draw a cell's text in one line from its left:
// left and vertically centred, left to right, not wrapped.
bool PlainLine(const QStyleOptionViewItem& cell) {
  constexpr auto kPlaced = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDecoration;
  if (cell.features & (kPlaced | QStyleOptionViewItem::WrapText)) return false;
  if (cell.direction != Qt::LeftToRight || cell.text.isEmpty()) return false;
  if (cell.displayAlignment != (Qt::AlignLeft | Qt::AlignVCenter)) return false;
  // The focus frame is drawn over the text, which may show through it.
  if (cell.state & (QStyle::State_Editing | QStyle::State_HasFocus)) return false;
  for (const QChar c : cell.text) {
    if (c == u'\n' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator) return false;
  }
  return true;
}

}  // namespace

const QTextLayout* TextCellDelegate::LaidOut(const QStyleOptionViewItem& cell, int width) const {
  if (cell.font != layoutFont_) {
    layouts_.clear();
    layoutFont_ = cell.font;
  }
  QString key = cell.text;
  key += QChar(0x1F);
  key += QString::number(width);
  if (const QTextLayout* known = layouts_.object(key)) return known;
  auto layout = std::make_unique<QTextLayout>(cell.text, cell.font);
  QTextOption textOption;
  textOption.setWrapMode(QTextOption::ManualWrap);
  textOption.setTextDirection(cell.direction);
  textOption.setAlignment(QStyle::visualAlignment(cell.direction, cell.displayAlignment));
  layout->setTextOption(textOption);
  layout->beginLayout();
  QTextLine line = layout->createLine();
  if (line.isValid()) {
    line.setLineWidth(width);
    line.setPosition(QPointF(0, 0));
  }
  const bool oneLine = line.isValid() && !layout->createLine().isValid();
  layout->endLayout();
  // Cut off: the style elides it, which is its own business.
  if (!oneLine || layout->lineAt(0).naturalTextWidth() > width) return nullptr;
  const QTextLayout* laidOut = layout.get();
  layouts_.insert(key, layout.release());
  return laidOut;
}

void TextCellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
  QStyleOptionViewItem cell = option;
  initStyleOption(&cell, index);
  constexpr auto kPlaced = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDecoration;
  if (!(cell.features & kPlaced)) cell.features &= ~QStyleOptionViewItem::HasDisplay;
  const QWidget* widget = option.widget;
  QStyle* style = widget != nullptr ? widget->style() : QApplication::style();

  const QTextLayout* layout = nullptr;
  QRect textRect;
  if (PlainLine(cell)) {
    // Where the style puts the text: the cell less the focus frame's margin.
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &cell, widget)
                   .adjusted(margin, 0, -margin, 0);
    layout = LaidOut(cell, textRect.width());
  }
  if (layout == nullptr) {
    style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, widget);
    return;
  }

  // The cell without its text, then the text as the style draws it: in the
  // text colour of the cell's state, centred by the layout's height, clipped
  // to the cell.
  const QString text = cell.text;
  cell.text.clear();
  style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, widget);
  QPalette::ColorGroup group = cell.state & QStyle::State_Enabled ? QPalette::Normal : QPalette::Disabled;
  if (group == QPalette::Normal && !(cell.state & QStyle::State_Active)) group = QPalette::Inactive;
  const QPalette::ColorRole role = cell.state & QStyle::State_Selected ? QPalette::HighlightedText : QPalette::Text;
  const QRect layoutRect = QStyle::alignedRect(Qt::LayoutDirectionAuto, cell.displayAlignment,
                                               layout->boundingRect().size().toSize(), textRect);
  painter->save();
  painter->setClipRect(cell.rect);
  painter->setPen(cell.palette.color(group, role));
  layout->draw(painter, QPointF(textRect.x(), layoutRect.top()));
  painter->restore();
}

}  // namespace tessaly
