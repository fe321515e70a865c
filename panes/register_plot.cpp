#include "panes/register_plot.h"

#include "core/local_time_text.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace tessaly {
namespace {

QString TimeText(std::int64_t at) {
  char text[16];
  return QString::fromLatin1(text, static_cast<int>(WriteTimeOfDay(at, text) - text));
}

}  // namespace

RegisterPlot::RegisterPlot(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("RegisterPlot"));
  setMinimumHeight(120);
}

void RegisterPlot::SetSeries(QString title, std::vector<Point> points, std::int64_t until) {
  title_ = std::move(title);
  points_ = std::move(points);
  until_ = points_.empty() ? until : std::max(until, points_.back().at);
  update();
}

void RegisterPlot::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().base());
  painter.setPen(palette().text().color());
  const QFontMetrics metrics = fontMetrics();
  const int line = metrics.height();
  painter.drawText(QRect(4, 2, width() - 8, line), Qt::AlignLeft | Qt::AlignVCenter,
                   points_.empty() ? QStringLiteral("Choose a register to see its value over time")
                                   : title_);
  if (points_.empty()) return;

  const auto [low, high] = std::minmax_element(points_.begin(), points_.end(),
                                               [](const Point& a, const Point& b) { return a.value < b.value; });
  double bottom = low->value;
  double top = high->value;
  if (top == bottom) {  // a flat line in the middle
    bottom -= 1;
    top += 1;
  }
  const QString topText = QString::number(high->value, 'g', 7);
  const QString bottomText = QString::number(low->value, 'g', 7);
  const int left = 8 + std::max(metrics.horizontalAdvance(topText), metrics.horizontalAdvance(bottomText));
  const QRect area(left, 2 * line, width() - left - 8, height() - 4 * line);
  if (area.width() < 10 || area.height() < 10) return;

  painter.setPen(palette().mid().color());
  painter.drawRect(area);
  painter.setPen(palette().text().color());
  painter.drawText(QRect(0, area.top() - line / 2, left - 4, line), Qt::AlignRight | Qt::AlignVCenter, topText);
  painter.drawText(QRect(0, area.bottom() - line / 2, left - 4, line), Qt::AlignRight | Qt::AlignVCenter,
                   bottomText);
  const std::int64_t start = points_.front().at;
  const std::int64_t span = std::max<std::int64_t>(1, until_ - start);
  painter.drawText(QRect(area.left(), area.bottom() + 2, area.width(), line), Qt::AlignLeft, TimeText(start));
  painter.drawText(QRect(area.left(), area.bottom() + 2, area.width(), line), Qt::AlignRight, TimeText(until_));

  const auto x = [&](std::int64_t at) {
    return area.left() + static_cast<double>(at - start) / static_cast<double>(span) * area.width();
  };
  const auto y = [&](double value) { return area.bottom() - (value - bottom) / (top - bottom) * area.height(); };
  QPainterPath path;
  path.moveTo(x(points_.front().at), y(points_.front().value));
  for (std::size_t i = 1; i < points_.size(); ++i) {
    path.lineTo(x(points_[i].at), y(points_[i - 1].value));
    path.lineTo(x(points_[i].at), y(points_[i].value));
  }
  path.lineTo(x(until_), y(points_.back().value));
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(palette().highlight().color(), 2));
  painter.drawPath(path);
}

}  // namespace tessaly
