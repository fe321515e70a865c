#include "capture/log_scroll_bar.h"

#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <QStyleOptionSlider>

#include <algorithm>
#include <cstring>

namespace tessaly {

LogScrollBar::LogScrollBar(Qt::Orientation orientation, QWidget* parent)
    : QScrollBar(orientation, parent) {}

LogScrollBar::Look LogScrollBar::CurrentLook() const {
  QStyleOptionSlider option;
  initStyleOption(&option);
  Look look;
  look.bar = option.rect;
  look.handle = style()->subControlRect(QStyle::CC_ScrollBar, &option,
                                        QStyle::SC_ScrollBarSlider, this);
  look.state = option.state;
  look.palette = option.palette.cacheKey();
  look.empty = option.minimum == option.maximum;
  look.atStart = option.sliderPosition == option.minimum;
  look.atEnd = option.sliderPosition == option.maximum;
  return look;
}

bool LogScrollBar::SameButHandle(const Look& a, const Look& b) {
  return a.bar == b.bar && a.state == b.state && a.palette == b.palette && a.empty == b.empty &&
         a.atStart == b.atStart && a.atEnd == b.atEnd;
}

void LogScrollBar::sliderChange(SliderChange change) {
  if (change == SliderOrientationChange || !shownKnown_ || !isVisible()) {
    QScrollBar::sliderChange(change);
    shownKnown_ = false;
    return;
  }
  // Range, steps and value only place and size the handle. They come in
  // runs (new rows: the range grows, leaving the handle off the end for a
  // moment, then the value follows; the view sets the steps again, unchanged,
  // whenever it lays out), so the bar is compared with what it shows once
  // the run is over.
  if (settlePending_) return;
  settlePending_ = true;
  QMetaObject::invokeMethod(this, &LogScrollBar::Settle, Qt::QueuedConnection);
}

void LogScrollBar::Settle() {
  settlePending_ = false;
  if (!shownKnown_) return;  // a whole repaint is on its way
  if (!isVisible()) {
    update();
    shownKnown_ = false;
    return;
  }
  const Look now = CurrentLook();
  if (!SameButHandle(now, shown_)) {
    update();
  } else if (now.handle != shown_.handle) {
    update(Moved(shown_.handle, now.handle, RowsAlike(now)));
  }
  shown_ = now;
}

bool LogScrollBar::RowsAlike(const Look& look) {
  // Worked out again only when the look changes, not when the handle moves.
  if (checkedKnown_ && SameButHandle(look, checked_)) {
    return rowsAlike_;
  }
  checked_ = look;
  checkedKnown_ = true;
  rowsAlike_ = false;
  // Rows this near the handle's ends or the arrows are not compared.
  const QRect handle = look.handle;
  if (orientation() != Qt::Vertical || handle.height() <= 2 * kOutline + 1) return false;
  QStyleOptionSlider option;
  initStyleOption(&option);
  option.subControls = QStyle::SC_All;
  QImage image(size(), QImage::Format_ARGB32_Premultiplied);
  image.fill(palette().window().color());
  {
    QPainter painter(&image);
    style()->drawComplexControl(QStyle::CC_ScrollBar, &option, &painter, this);
  }
  QList<QRect> kept;  // rows about these are neither groove nor body
  for (QStyle::SubControl arrow : {QStyle::SC_ScrollBarSubLine, QStyle::SC_ScrollBarAddLine}) {
    kept.append(style()->subControlRect(QStyle::CC_ScrollBar, &option, arrow, this));
  }
  const auto near = [&](int y, const QRect& area) {
    return area.isValid() && y >= area.top() - kOutline && y <= area.bottom() + kOutline;
  };
  const auto sameRow = [&](int a, int b) {
    return std::memcmp(image.constScanLine(a), image.constScanLine(b),
                       static_cast<std::size_t>(image.bytesPerLine())) == 0;
  };
  int groove = -1;
  for (int y = 0; y < image.height(); ++y) {
    if (near(y, handle) || near(y, kept[0]) || near(y, kept[1])) continue;
    if (groove < 0) {
      groove = y;
    } else if (!sameRow(y, groove)) {
      return false;
    }
  }
  const int body = handle.top() + kOutline + 1;
  for (int y = body + 1; y < handle.bottom() - kOutline; ++y) {
    if (!sameRow(y, body)) return false;
  }
  rowsAlike_ = groove >= 0;
  return rowsAlike_;
}

QRegion LogScrollBar::Moved(const QRect& from, const QRect& to, bool rowsAlike) const {
  // Styles draw the handle's outline a pixel or two beyond its rectangle
  // (Fusion one pixel above it), hence the margins, across the whole bar.
  const auto along = [this](int first, int last) {
    return orientation() == Qt::Vertical
               ? QRect(0, first - kOutline, width(), last - first + 1 + 2 * kOutline)
               : QRect(first - kOutline, 0, last - first + 1 + 2 * kOutline, height());
  };
  const bool vertical = orientation() == Qt::Vertical;
  const int fromStart = vertical ? from.top() : from.left();
  const int fromEnd = vertical ? from.bottom() : from.right();
  const int toStart = vertical ? to.top() : to.left();
  const int toEnd = vertical ? to.bottom() : to.right();
  if (!rowsAlike) {
    return QRegion(along(std::min(fromStart, toStart), std::max(fromEnd, toEnd))) & rect();
  }
  // Only the rows between each end's old and new place differ.
  QRegion region(along(std::min(fromStart, toStart), std::max(fromStart, toStart)));
  region += along(std::min(fromEnd, toEnd), std::max(fromEnd, toEnd));
  return region & rect();
}

void LogScrollBar::paintEvent(QPaintEvent* event) {
  QScrollBar::paintEvent(event);
  // A whole repaint shows the bar as it is now, whatever changed it.
  if (event->rect().contains(rect())) {
    shown_ = CurrentLook();
    shownKnown_ = true;
  }
}

}  // namespace tessaly
