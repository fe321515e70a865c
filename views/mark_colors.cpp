#include "views/mark_colors.h"

#include <QPalette>

#include <cmath>

namespace tessaly {
namespace {

// The red mixed into the base: a fifth of it turns white into #FFD8D0, the
// tint this grid has always had on a light theme.
constexpr QRgb kMarkRed = qRgb(0xFF, 0x3C, 0x14);
constexpr double kLightShare = 0.2;
// A dark base needs more of the red for the tint to show at all.
constexpr double kDarkShare = 0.3;

double Linear(double channel) {
  return channel <= 0.03928 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
}

double Luminance(const QColor& colour) {
  return 0.2126 * Linear(colour.redF()) + 0.7152 * Linear(colour.greenF()) +
         0.0722 * Linear(colour.blueF());
}

QColor Mix(const QColor& base, QRgb into, double share) {
  const auto channel = [share](int from, int to) {
    return static_cast<int>(std::lround(from + (to - from) * share));
  };
  return QColor(channel(base.red(), qRed(into)), channel(base.green(), qGreen(into)),
                channel(base.blue(), qBlue(into)));
}

}  // namespace

double ContrastRatio(const QColor& first, const QColor& second) {
  const double a = Luminance(first);
  const double b = Luminance(second);
  return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

QColor MarkTint(const QPalette& palette) {
  const QColor base = palette.color(QPalette::Active, QPalette::Base);
  const QColor text = palette.color(QPalette::Active, QPalette::Text);
  double share = Luminance(base) < 0.2 ? kDarkShare : kLightShare;
  QColor tint = Mix(base, kMarkRed, share);
  // Red darkens a light base and lightens a dark one, towards the text in
  // both cases: less of it until the text reads again.
  while (ContrastRatio(tint, text) < kMinimumMarkContrast && share > 0.0) {
    share = std::max(0.0, share - 0.02);
    tint = Mix(base, kMarkRed, share);
  }
  return tint;
}

QColor MarkText(const QPalette& palette, const QColor& tint) {
  const QColor text = palette.color(QPalette::Active, QPalette::Text);
  if (ContrastRatio(tint, text) >= kMinimumMarkContrast) return text;
  return ContrastRatio(tint, Qt::black) >= ContrastRatio(tint, Qt::white) ? QColor(Qt::black)
                                                                         : QColor(Qt::white);
}

QColor MarkSignOutline(const QColor& tint) {
  const QColor dark(0x80, 0x10, 0x10);
  const QColor light(0xFF, 0xA0, 0x90);
  return ContrastRatio(tint, dark) >= ContrastRatio(tint, light) ? dark : light;
}

}  // namespace tessaly
