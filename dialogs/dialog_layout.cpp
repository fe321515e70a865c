#include "dialogs/dialog_layout.h"

#include "presentation/ui_scale.h"

#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QPushButton>

namespace tessaly {

void MakeFixedSizeDialog(QDialog& dialog, QSize designClientSize) {
  dialog.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::MSWindowsFixedSizeDialogHint |
                        Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  dialog.setFixedSize(Scaled(designClientSize));
}

QFrame* AddFrame(QWidget& parent, QRect designGeometry) {
  auto* frame = new QFrame(&parent);
  frame->setFrameShape(QFrame::StyledPanel);
  frame->setFrameShadow(QFrame::Sunken);
  frame->setGeometry(Scaled(designGeometry));
  return frame;
}

QLabel* AddLabel(QWidget& parent, const char* text, QPoint designPosition) {
  auto* label = new QLabel(QString::fromLatin1(text), &parent);
  label->move(Scaled(designPosition.x()), Scaled(designPosition.y()));
  label->adjustSize();
  return label;
}

QPushButton* AddButton(QWidget& parent, const char* caption, QPoint designPosition) {
  auto* button = new QPushButton(QString::fromLatin1(caption), &parent);
  button->setGeometry(Scaled(QRect(designPosition, QSize(80, 25))));
  return button;
}

void SetTabOrder(std::initializer_list<QWidget*> widgets) {
  QWidget* previous = nullptr;
  for (QWidget* widget : widgets) {
    if (previous != nullptr) QWidget::setTabOrder(previous, widget);
    previous = widget;
  }
}

}  // namespace tessaly
