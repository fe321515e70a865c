#pragma once

#include <QRect>
#include <QRegion>
#include <QScrollBar>
#include <QStyle>

namespace tessaly {

// The log grid's vertical scroll bar. A following log changes the bar's
// range and value with every new batch of rows, and a plain scroll bar then
// repaints itself whole: its groove is as tall as the grid, and the raster
// painter splits fills that tall across helper threads, so each repaint costs
// a round of thread hand-overs. This bar repaints only what a change of range,
// steps or value altered: nothing when the handle stays where it was on
// screen (a long log's handle is at its least length and at the bottom), else
// the part of the bar between the handle's old and new place. Any other
// change repaints the bar whole, as before.
class LogScrollBar : public QScrollBar {
  Q_OBJECT

 public:
  explicit LogScrollBar(Qt::Orientation orientation, QWidget* parent = nullptr);

 protected:
  void sliderChange(SliderChange change) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  // What the style draws from, besides the numbers (range, steps, value)
  // that only place and size the handle.
  struct Look {
    QRect bar;
    QRect handle;
    QStyle::State state;
    qint64 palette = 0;
    bool empty = false;    // minimum == maximum
    bool atStart = false;  // handle at the minimum
    bool atEnd = false;    // handle at the maximum
  };
  // How far beyond the handle's rectangle a style may draw it.
  static constexpr int kOutline = 4;

  Look CurrentLook() const;
  static bool SameButHandle(const Look& a, const Look& b);
  // What to repaint when the handle moved from one place to another.
  QRegion Moved(const QRect& from, const QRect& to) const;
  // Repaints what a run of changes altered.
  void Settle();

  Look shown_;  // as the bar stands once the repaints asked for are done
  bool shownKnown_ = false;
  bool settlePending_ = false;
};

}  // namespace tessaly
