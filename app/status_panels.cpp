#include "app/status_panels.h"

#include "presentation/product.h"
#include "presentation/ui_scale.h"

#include <QLabel>

namespace tessaly {

StatusPanels::StatusPanels(QWidget* parent) : QStatusBar(parent) {
  setObjectName(QStringLiteral("StatusBar"));
  setFixedHeight(Scaled(24));
  setSizeGripEnabled(false);
  linkState_ = AddPanel("StatusPanel0", 90, Qt::AlignCenter, QStringLiteral("No Connect"));
  linkSettings_ =
      AddPanel("StatusPanel1", 200, Qt::AlignCenter, QStringLiteral("COM1,9600,8N1,NONE"));
  notice_ = AddPanel("StatusPanel2", 350, Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("Check for updates at %1").arg(QLatin1String(kWebAddress)));
}

QLabel* StatusPanels::AddPanel(const char* objectName, int designWidth, Qt::Alignment alignment,
                               const QString& text) {
  auto* panel = new QLabel(text, this);
  panel->setObjectName(QLatin1String(objectName));
  panel->setFixedWidth(Scaled(designWidth));
  panel->setAlignment(alignment);
  panel->setFrameShape(QFrame::Panel);
  panel->setFrameShadow(QFrame::Sunken);
  addWidget(panel);
  return panel;
}

void StatusPanels::SetLinkState(const QString& text) { linkState_->setText(text); }
void StatusPanels::SetLinkSettings(const QString& text) { linkSettings_->setText(text); }
QString StatusPanels::LinkState() const { return linkState_->text(); }
QString StatusPanels::LinkSettings() const { return linkSettings_->text(); }
QString StatusPanels::Notice() const { return notice_->text(); }

}  // namespace tessaly
