#include "links/serial/com_combo_box.h"

#include "presentation/error_report.h"
#include "links/serial/port_names.h"

namespace tessaly {

TComComboBox::TComComboBox(QWidget* parent) : QComboBox(parent) {
  setEditable(false);
  // activated: the user's picks only, not the list's own changes.
  connect(this, &QComboBox::activated, this, [this](int) { RunReportingErrors([this] { ItemPicked(); }); });
}

void TComComboBox::SetComPort(TCustomComPort* port) {
  if (port == select_.ComPort()) return;
  disconnect(portDestroyed_);
  select_.SetComPort(port);
  if (port == nullptr) return;
  portDestroyed_ = connect(port, &QObject::destroyed, this, [this] { PortDestroyed(); });
  ShowCurrent();
}

void TComComboBox::SetComProperty(TComProperty property) {
  select_.SetComProperty(property);
  clear();
  if (property == cpPort) {
    QStringList names;
    ListPortNames(names, sysfsRoot_, ptsRoot_);
    addItems(names);
  } else {
    addItems(FixedPropertyItems(property));
  }
  if (count() == 0) return;
  if (select_.ComPort() != nullptr) {
    ShowCurrent();
  } else {
    setCurrentIndex(0);
  }
}

QString TComComboBox::Text() const { return currentIndex() < 0 ? QString() : currentText(); }

void TComComboBox::SetText(const QString& text) {
  const int index = findText(text, Qt::MatchFixedString);  // MatchFixedString ignores case
  if (index >= 0) setCurrentIndex(index);
}

void TComComboBox::ShowCurrent() {
  if (select_.ComPort() == nullptr || select_.ComProperty() == cpNone) return;
  const int index = findText(select_.CurrentText(), Qt::MatchFixedString);
  setCurrentIndex(index);
  if (index >= 0) select_.SetPendingText(itemText(index));
}

void TComComboBox::ItemPicked() {
  select_.SetPendingText(Text());
  if (select_.AutoApply()) select_.ApplySelection();
  if (OnChange) OnChange(*this);
}

void TComComboBox::PortDestroyed() {
  select_.SetComPort(nullptr);
  if (count() > 0) setCurrentIndex(0);
}

}  // namespace tessaly
