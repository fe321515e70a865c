#include "links/serial/com_combo_box.h"

#include "presentation/error_report.h"
#include "links/serial/port_names.h"

#include <QAbstractItemView>
#include <QFontMetrics>
#include <QLineEdit>
#include <QStyledItemDelegate>

#include <algorithm>

namespace tessaly {
namespace {

constexpr int kDescriptionRole = Qt::UserRole + 1;

// "ttyUSB0   — USB: FTDI FT232R USB UART, serial A50285BI"
QString PortEntryLine(const QString& name, const QString& description) {
  return description.isEmpty() ? name : name + QStringLiteral("   \u2014 ") + description;
}

// The port list's drop-down: each name followed by what it is.
class PortEntryDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    option->text = PortEntryLine(option->text, index.data(kDescriptionRole).toString());
  }
};

}  // namespace

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
  const bool portList = property == cpPort;
  if (portList != isEditable()) {
    setEditable(portList);
    if (portList) {
      setInsertPolicy(QComboBox::NoInsert);
      view()->setItemDelegate(new PortEntryDelegate(view()));
      // Typing is a pick of its own: the typed name becomes the pending one.
      connect(lineEdit(), &QLineEdit::textEdited, this,
              [this](const QString& text) { select_.SetPendingText(text.trimmed()); });
    }
  }
  clear();
  portEntries_.clear();
  if (portList) {
    FillPortList();
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

void TComComboBox::FillPortList() {
  portEntries_ = ListPorts(roots_);
  int widest = 0;
  const QFontMetrics metrics(font());
  for (const PortEntry& entry : portEntries_) {
    addItem(entry.name);
    setItemData(count() - 1, entry.description, kDescriptionRole);
    setItemData(count() - 1, entry.description, Qt::ToolTipRole);
    widest = std::max(widest, metrics.horizontalAdvance(PortEntryLine(entry.name, entry.description)));
  }
  // The drop-down is as wide as its longest line, the box keeps its size.
  view()->setMinimumWidth(std::max(width(), widest + 32));
}

void TComComboBox::RefreshPortList() {
  if (select_.ComProperty() != cpPort) return;
  const QString shown = Text();
  clear();
  portEntries_.clear();
  try {
    FillPortList();
  } catch (const EComPort&) {
    ShowPortName(shown);
    throw;
  }
  ShowPortName(shown);
}

void TComComboBox::ShowPortName(const QString& name) {
  setCurrentIndex(FindPortEntry(portEntries_, name));
  setEditText(name);
}

QString TComComboBox::Text() const {
  if (isEditable()) return currentText().trimmed();
  return currentIndex() < 0 ? QString() : currentText();
}

void TComComboBox::SetText(const QString& text) {
  const int index = findText(text, Qt::MatchFixedString);  // MatchFixedString ignores case
  if (index >= 0) setCurrentIndex(index);
}

void TComComboBox::ShowCurrent() {
  if (select_.ComPort() == nullptr || select_.ComProperty() == cpNone) return;
  if (select_.ComProperty() == cpPort) {
    // The name stays as the user chose it; its entry, if listed, is marked.
    const QString name = select_.CurrentText();
    ShowPortName(name);
    select_.SetPendingText(name);
    return;
  }
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
