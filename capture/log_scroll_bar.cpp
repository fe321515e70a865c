#include "capture/log_scroll_bar.h"

#include <QPaintEvent>
#include <QStyleOptionSlider>

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
    // Styles draw the handle's outline a pixel or two beyond its rectangle
    // (Fusion one pixel above it), so the strip is widened to the bar's
    // breadth and a few pixels along it.
    QRect strip = now.handle.united(shown_.handle);
    if (orientation() == Qt::Vertical) {
      strip = QRect(0, strip.top() - kOutline, width(), strip.height() + 2 * kOutline);
    } else {
      strip = QRect(strip.left() - kOutline, 0, strip.width() + 2 * kOutline, height());
    }
    update(strip & rect());
  }
  shown_ = now;
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
