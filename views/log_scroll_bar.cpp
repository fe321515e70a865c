#include "views/log_scroll_bar.h"

#include <QPaintEvent>
#include <QStyleOptionSlider>

#include <algorithm>

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
    update(Moved(shown_.handle, now.handle));
  }
  shown_ = now;
}

QRegion LogScrollBar::Moved(const QRect& from, const QRect& to) const {
  // Styles draw the handle's outline a pixel or two beyond its rectangle
  // (Fusion one pixel above it), hence the margins, across the whole bar.
  if (orientation() == Qt::Vertical) {
    const int first = std::min(from.top(), to.top()) - kOutline;
    const int last = std::max(from.bottom(), to.bottom()) + kOutline;
    return QRegion(0, first, width(), last - first + 1) & rect();
  }
  const int first = std::min(from.left(), to.left()) - kOutline;
  const int last = std::max(from.right(), to.right()) + kOutline;
  return QRegion(first, 0, last - first + 1, height()) & rect();
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
