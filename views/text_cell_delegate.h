#pragma once

#include <QCache>
#include <QFont>
#include <QStyledItemDelegate>
#include <QTextLayout>

namespace tessaly {

// Paints a cell of text alone as the style does, only cheaper.
//
// To place a cell's check box, icon and text the style measures the text,
// laying it out once for each of the three, before it lays it out again to
// elide and once more to draw it; a cell with neither check box nor icon
// gives its text the whole cell whatever its size, so the style is told
// there is no text to measure.
//
// The text itself is laid out here, once, and the layout kept for the next
// time the cell is painted (a row is painted when it arrives and again when
// the current row moves on from it); it is drawn exactly where and how the
// style draws it. Text the cell cuts off, text of several lines, the cell
// with the focus frame and cells laid out otherwise are left to the style.
class TextCellDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;

 private:
  // The text laid out as the style lays it out for a cell width, or null
  // where the style would do otherwise (cut off, several lines).
  const QTextLayout* LaidOut(const QStyleOptionViewItem& cell, int width) const;

  // Laid out texts by text and width; as many as a few screens of rows.
  mutable QCache<QString, QTextLayout> layouts_{512};
  mutable QFont layoutFont_;
};

}  // namespace tessaly
