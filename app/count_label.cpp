#include "app/count_label.h"

#include <algorithm>

namespace tessaly {

CountLabel::CountLabel(const QString& text, int minimumWidth, QWidget* parent)
    : QLabel(text, parent), minimumWidth_(minimumWidth) {
  setMinimumWidth(minimumWidth);
}

void CountLabel::SetCount(const QString& text) {
  if (text == this->text()) return;
  if (!held_ && isVisible()) {
    // Laid out by now: the height is the status bar's, for good.
    setFixedSize(size());
    held_ = true;
  }
  setText(text);
  if (!held_) return;
  const int width = WidthFor(text);
  if (width != this->width()) setFixedWidth(width);
}

int CountLabel::WidthFor(const QString& text) {
  measure_.setFont(font());
  measure_.setFrameStyle(frameStyle());
  measure_.setLineWidth(lineWidth());
  measure_.setAlignment(alignment());
  measure_.setMargin(margin());
  measure_.setIndent(indent());
  measure_.setContentsMargins(contentsMargins());
  measure_.setText(text);
  return std::max(minimumWidth_, measure_.sizeHint().width());
}

}  // namespace tessaly
