#pragma once

#include <QIcon>
#include <QPixmap>

namespace tessaly {

// The main window's image list: eleven 32 x 32 icons on a transparent
// background, addressed by index.
inline constexpr int kIconAbout = 0;            // blue circle, white question mark
inline constexpr int kIconCross = 1;            // red cross
inline constexpr int kIconSerialSettings = 2;   // two-part cable connector
inline constexpr int kIconTcpSettings = 3;      // globe on a stand
inline constexpr int kIconOpenFolder = 4;       // opening folder
inline constexpr int kIconDiskette = 5;         // diskette
inline constexpr int kIconPencil = 6;           // pencil
inline constexpr int kIconBlankPage = 7;        // blank page
inline constexpr int kIconStart = 8;            // green circle, white triangle: no link open
inline constexpr int kIconStop = 9;             // red octagon, white cross: a link is open
inline constexpr int kIconCurvedArrow = 10;     // curved arrow

inline constexpr int kImageListIconSide = 32;
inline constexpr int kAboutPictureSide = 48;

int ImageListCount();

// The icon at `index`, drawn sharp at the common toolbar and menu sizes; an
// empty (null) icon for an index outside 0 .. ImageListCount() - 1. Drawn on
// the first call; later calls return the same icon (equal cacheKey()).
QIcon ImageListIcon(int index);

// The About dialog's picture, a square of `sidePixels` (48 unless the caller
// scales it to the screen), transparent around the drawing. Drawn once per
// size.
QPixmap AboutPicture(int sidePixels = kAboutPictureSide);

// The About picture as the application's icon, at the sizes title bars and
// task switchers ask for. The installed desktop entry's themed icon is the
// same drawing.
QIcon ApplicationIcon();

}  // namespace tessaly
