#include "views/frame_mark_delegate.h"

#include "views/mark_colors.h"
#include "modbus/frame_check.h"
#include "log/packet_log_model.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>

namespace tessaly {
namespace {

// A warning triangle with an exclamation mark, filling a square of side.
void PaintWarningSign(QPainter& painter, const QRectF& square, const QColor& outline) {
  const double side = square.width();
  QPainterPath triangle;
  triangle.moveTo(square.center().x(), square.top() + side * 0.08);
  triangle.lineTo(square.right() - side * 0.04, square.bottom() - side * 0.1);
  triangle.lineTo(square.left() + side * 0.04, square.bottom() - side * 0.1);
  triangle.closeSubpath();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(outline, std::max(1.0, side / 14)));
  painter.setBrush(QColor(0xE0, 0x30, 0x20));
  painter.drawPath(triangle);
  painter.setPen(QPen(Qt::white, std::max(1.5, side / 8), Qt::SolidLine, Qt::RoundCap));
  const double x = square.center().x();
  painter.drawLine(QPointF(x, square.top() + side * 0.38), QPointF(x, square.top() + side * 0.62));
  painter.drawPoint(QPointF(x, square.top() + side * 0.75));
}

}  // namespace

FrameMarkDelegate::FrameMarkDelegate(const PacketLogModel& log, QAbstractItemDelegate* inner,
                                     QObject* parent)
    : QStyledItemDelegate(parent),
      log_(log),
      inner_(inner != nullptr ? inner : new QStyledItemDelegate(this)) {}

QColor FrameMarkDelegate::MarkColor(const QPalette& palette) { return MarkTint(palette); }

const char* FrameMarkDelegate::MarkOf(int row) const {
  if (!enabled_ || row < 0 || row >= log_.PacketCount() || log_.MarkAt(row) != nullptr) return nullptr;
  const PacketStore::Packet packet = log_.PacketAt(row);
  const modbus::FrameKind kind = modbus::CheckFrame(packet.bytes, packet.count);
  return kind == modbus::FrameKind::Good ? nullptr : modbus::FrameKindName(kind);
}

void FrameMarkDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
  if (MarkOf(index.row()) == nullptr) {
    inner_->paint(painter, option, index);
    return;
  }
  const bool selected = (option.state & QStyle::State_Selected) != 0;
  const QColor tint = MarkTint(option.palette);
  painter->save();
  if (!selected) painter->fillRect(option.rect, tint);
  const int side = std::min(option.rect.height() - 2, 18);
  const QRectF sign(option.rect.left() + 2, option.rect.top() + (option.rect.height() - side) / 2.0,
                    side, side);
  PaintWarningSign(*painter, sign,
                   MarkSignOutline(selected ? option.palette.color(QPalette::Highlight) : tint));
  painter->restore();
  QStyleOptionViewItem shifted(option);
  shifted.rect.setLeft(option.rect.left() + side + 4);
  // The palette's text where it reads on the tint (a theme whose text and
  // base are close may need black or white instead).
  if (!selected) shifted.palette.setColor(QPalette::Text, MarkText(option.palette, tint));
  inner_->paint(painter, shifted, index);
}

QSize FrameMarkDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
  return inner_->sizeHint(option, index);
}

bool FrameMarkDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view,
                                  const QStyleOptionViewItem& option, const QModelIndex& index) {
  const char* mark = MarkOf(index.row());
  if (event != nullptr && event->type() == QEvent::ToolTip && mark != nullptr &&
      event->pos().x() < option.rect.left() + option.rect.height() + 4) {
    QToolTip::showText(event->globalPos(), QString::fromLatin1(mark), view);
    return true;
  }
  return inner_->helpEvent(event, view, option, index);
}

}  // namespace tessaly
