#pragma once

#include <QSize>

class QWidget;

namespace tessaly {

// The window layouts are designed at 120 pixels per inch; these scale a design
// size to the density of the screen the program runs on.
inline constexpr int kDesignDpi = 120;

int Scaled(int designPixels);
QSize Scaled(QSize designSize);

}  // namespace tessaly
