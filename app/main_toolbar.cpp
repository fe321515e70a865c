#include "app/main_toolbar.h"

#include "presentation/ui_scale.h"
#include "session/connection_control.h"
#include "resources/image_list.h"

#include <QToolButton>

namespace tessaly {

MainToolbar::MainToolbar(QWidget* parent) : QToolBar(parent) {
  setObjectName(QStringLiteral("jvtbMain"));
  setMovable(false);
  setFloatable(false);
  setFixedHeight(Scaled(49));
  setIconSize(Scaled(QSize(32, 32)));
  setContextMenuPolicy(Qt::PreventContextMenu);
  setStyleSheet(QStringLiteral("QToolBar#jvtbMain { border: 1px solid palette(mid); }"));

  AddGap(9);
  start_ = AddButton("tbStart", ConnectionControl::kStartPicture);
  startImageIndex_ = ConnectionControl::kStartPicture;
  start_->setToolTip(QStringLiteral("Start / Stop"));
  AddGap(25);
  tcpSettings_ = AddButton("tbTcpSettings", 3);
  tcpSettings_->setToolTip(QStringLiteral("TCP/IP Settings"));
  serialSettings_ = AddButton("tbSerialSettings", 2);
  serialSettings_->setToolTip(QStringLiteral("Serial settings"));
  AddGap(25);
  about_ = AddButton("tbAbout", 0);
  about_->setToolTip(QStringLiteral("About"));
}

void MainToolbar::SetStartImageIndex(int index) {
  startImageIndex_ = index;
  start_->setIcon(ImageListIcon(index));
}

void MainToolbar::AddGap(int designWidth) {
  auto* gap = new QWidget(this);
  gap->setFixedWidth(Scaled(designWidth));
  addWidget(gap);
}

QToolButton* MainToolbar::AddButton(const char* objectName, int imageIndex) {
  auto* button = new QToolButton(this);
  button->setObjectName(QLatin1String(objectName));
  button->setIcon(ImageListIcon(imageIndex));
  button->setIconSize(iconSize());
  button->setFixedSize(Scaled(QSize(42, 38)));
  button->setAutoRaise(true);
  // The log grid is the window's only focusable child: keys typed in the
  // window go to it, and the buttons never steal the focus from it.
  button->setFocusPolicy(Qt::NoFocus);
  addWidget(button);
  return button;
}

}  // namespace tessaly
