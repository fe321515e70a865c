#pragma once

#include <QColor>

class QPalette;

namespace tessaly {

// The colours that mark a bad frame's cell, worked out from the palette the
// grid is painted with, so that the marked cell stays readable in light and
// dark desktop themes alike.

// The least contrast between a marked cell's text and its tint: the ratio
// asked of body text by the usual accessibility guidelines.
inline constexpr double kMinimumMarkContrast = 4.5;

// The contrast ratio of two colours, from 1 (the same) to 21 (black on
// white), computed from their relative luminance.
double ContrastRatio(const QColor& first, const QColor& second);

// The tint behind a marked cell: the palette's base colour with a share of
// red mixed in (on a white base #FFD8D0), the share made smaller until the
// palette's text colour reads on it with kMinimumMarkContrast.
QColor MarkTint(const QPalette& palette);

// The text colour on the tint: the palette's own where it reads, else
// black or white, whichever reads better.
QColor MarkText(const QPalette& palette, const QColor& tint);

// The warning sign's outline on the tint: dark red on a light tint, light
// red on a dark one.
QColor MarkSignOutline(const QColor& tint);

}  // namespace tessaly
