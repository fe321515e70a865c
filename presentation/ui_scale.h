#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

class QWidget;

namespace tessaly {

// The window layouts are designed at 120 pixels per inch; these scale a design
// size to the density of the screen the program runs on.
inline constexpr int kDesignDpi = 120;

int Scaled(int designPixels);
QSize Scaled(QSize designSize);
QRect Scaled(QRect designGeometry);

// The windows' default font: a 13-pixel sans-serif face at design density.
QFont DesignFont();

}  // namespace tessaly
