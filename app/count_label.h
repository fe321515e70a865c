#pragma once

#include <QHash>
#include <QLabel>

namespace tessaly {

// A status bar panel whose text changes often (the frame counts, with every
// batch of rows). A label asks its parent to lay out again on every new
// text, and a status bar laid out again makes the whole main window lay out
// again (toolbar, panes and all). Once shown, this panel holds the size the
// status bar gave it and asks for a new layout only when a text needs
// another width, so a count going up costs a repaint of the panel alone.
class CountLabel : public QLabel {
  Q_OBJECT

 public:
  CountLabel(const QString& text, int minimumWidth, QWidget* parent);

  void SetCount(const QString& text);

 private:
  // The width the status bar would give a text. A label's size hint is never
  // below its minimum size, which is fixed once the panel holds its size, so
  // the text is measured on a label of its own that is never shown.
  int WidthFor(const QString& text);
  // Measuring lays the text out, as long as painting it does. A count that
  // goes up changes digits, seldom the width: where the font gives every
  // digit one advance (as nearly all do), texts that differ only in their
  // digits are one width, kept under the text with its digits as zeros.
  QString WidthKey(const QString& text);

  void changeEvent(QEvent* event) override;

  int minimumWidth_;
  QLabel measure_;
  bool held_ = false;  // the size is fixed to what the layout gave
  QHash<QString, int> widths_;
  int evenDigits_ = -1;  // whether the font's digits share one advance; -1 unknown
};

}  // namespace tessaly
