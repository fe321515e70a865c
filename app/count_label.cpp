#include "app/count_label.h"

#include <QEvent>
#include <QFontMetrics>

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

QString CountLabel::WidthKey(const QString& text) {
  if (evenDigits_ < 0) {
    const QFontMetrics metrics(font());
    const int zero = metrics.horizontalAdvance(QLatin1Char('0'));
    evenDigits_ = 1;
    for (char digit = '1'; digit <= '9'; ++digit) {
      if (metrics.horizontalAdvance(QLatin1Char(digit)) != zero) evenDigits_ = 0;
    }
  }
  if (evenDigits_ == 0) return text;
  QString key = text;
  for (QChar& c : key) {
    if (c >= u'1' && c <= u'9') c = u'0';
  }
  return key;
}

void CountLabel::changeEvent(QEvent* event) {
  // Another font or style measures otherwise.
  if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
    widths_.clear();
    evenDigits_ = -1;
  }
  QLabel::changeEvent(event);
}

int CountLabel::WidthFor(const QString& text) {
  const QString key = WidthKey(text);
  if (const auto known = widths_.constFind(key); known != widths_.constEnd()) return *known;
  // A few shapes of text at most come and go; a stray many never pile up.
  if (widths_.size() > 64) widths_.clear();
  measure_.setFont(font());
  measure_.setFrameStyle(frameStyle());
  measure_.setLineWidth(lineWidth());
  measure_.setAlignment(alignment());
  measure_.setMargin(margin());
  measure_.setIndent(indent());
  measure_.setContentsMargins(contentsMargins());
  measure_.setText(text);
  const int width = std::max(minimumWidth_, measure_.sizeHint().width());
  widths_.insert(key, width);
  return width;
}

}  // namespace tessaly
