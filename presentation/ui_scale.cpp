#include "presentation/ui_scale.h"

#include <QGuiApplication>
#include <QScreen>

#include <cmath>

namespace tessaly {
namespace {

double Factor() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  const double dpi = screen != nullptr ? screen->logicalDotsPerInch() : 96.0;
  return dpi / kDesignDpi;
}

}  // namespace

int Scaled(int designPixels) {
  return static_cast<int>(std::lround(designPixels * Factor()));
}

QSize Scaled(QSize designSize) {
  return {Scaled(designSize.width()), Scaled(designSize.height())};
}

QRect Scaled(QRect designGeometry) {
  return {Scaled(designGeometry.x()), Scaled(designGeometry.y()), Scaled(designGeometry.width()),
          Scaled(designGeometry.height())};
}

QFont DesignFont() {
  QFont font(QStringLiteral("Sans Serif"));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(Scaled(13));
  return font;
}

}  // namespace tessaly
