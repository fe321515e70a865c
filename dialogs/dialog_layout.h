#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

#include <initializer_list>

class QDialog;
class QFrame;
class QLabel;
class QPushButton;
class QWidget;

namespace tessaly {

// Building blocks of the settings dialogs, placed at design positions
// (120 pixels per inch) and scaled to the screen.

// A dialog box of fixed size with a close box only: no resizing, no
// minimising or maximising.
void MakeFixedSizeDialog(QDialog& dialog, QSize designClientSize);

// A framed group without a caption.
QFrame* AddFrame(QWidget& parent, QRect designGeometry);
QLabel* AddLabel(QWidget& parent, const char* text, QPoint designPosition);
// An 80 x 25 push button.
QPushButton* AddButton(QWidget& parent, const char* caption, QPoint designPosition);
// Tab order through the widgets in the order given.
void SetTabOrder(std::initializer_list<QWidget*> widgets);

}  // namespace tessaly
