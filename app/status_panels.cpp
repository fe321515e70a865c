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
  // Placed before the notice, hidden until a second line is on: with one
  // line the bar is the three panels alone.
  secondState_ = AddPanel("StatusPanelSecondState", 120, Qt::AlignCenter, QStringLiteral("No Connect"));
  secondSettings_ = AddPanel("StatusPanelSecondSettings", 220, Qt::AlignCenter, QString());
  removeWidget(secondState_);
  removeWidget(secondSettings_);
  insertWidget(2, secondState_);
  insertWidget(3, secondSettings_);
  secondState_->hide();
  secondSettings_->hide();
}

void StatusPanels::ShowSecondLine(bool shown) {
  secondState_->setVisible(shown);
  secondSettings_->setVisible(shown);
}

bool StatusPanels::SecondLineShown() const { return !secondState_->isHidden(); }
void StatusPanels::SetSecondLinkState(const QString& text) { secondState_->setText(text); }
void StatusPanels::SetSecondLinkSettings(const QString& text) { secondSettings_->setText(text); }
QString StatusPanels::SecondLinkState() const { return secondState_->text(); }
QString StatusPanels::SecondLinkSettings() const { return secondSettings_->text(); }

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
