#include "dialogs/serial_settings_dialog.h"

#include "presentation/error_report.h"
#include "presentation/ui_scale.h"
#include "core/packet_framer.h"
#include "dialogs/dialog_layout.h"
#include "dialogs/first_field_focus.h"
#include "dialogs/interval_field.h"
#include "links/serial/com_combo_box.h"
#include "links/serial/com_port.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QShowEvent>
#include <QStyle>
#include <QToolButton>

namespace tessaly {
namespace {

// Design positions inside the frame, at 120 pixels per inch.
constexpr int kColumn1 = 36;
constexpr int kColumn2 = 173;
constexpr int kColumn3 = 257;
constexpr int kColumn4 = 341;
constexpr int kRow1Label = 14;
constexpr int kRow1List = 32;
constexpr int kRow2Label = 66;
constexpr int kRow2List = 84;
constexpr int kRow3 = 132;

}  // namespace

SerialSettingsDialog::SerialSettingsDialog(TComPort& port, PacketFramer& framer, QWidget* parent)
    : QDialog(parent), framer_(framer), port_(port) {
  setObjectName(QStringLiteral("fmComSet"));
  setWindowTitle(QStringLiteral("Serial settings"));
  setFont(DesignFont());
  MakeFixedSizeDialog(*this, QSize(478, 234));

  QFrame* frame = AddFrame(*this, QRect(16, 16, 449, 177));

  const auto addList = [&](const char* name, TComProperty property, const char* caption, int x,
                           int labelY, int listY, int width) {
    AddLabel(*frame, caption, QPoint(x, labelY));
    auto* list = new TComComboBox(frame);
    list->setObjectName(QLatin1String(name));
    list->setGeometry(Scaled(QRect(x, listY, width, 23)));
    // The port list waits for the first show (see portListMade_).
    if (property != TComProperty::cpPort) list->SetComProperty(property);
    list->SetComPort(&port);
    return list;
  };
  comsetCOMPORT = addList("comsetCOMPORT", TComProperty::cpPort, "COM port", kColumn1, kRow1Label,
                          kRow1List, 113);
  comsetDataBits = addList("comsetDataBits", TComProperty::cpDataBits, "Data Bits", kColumn2,
                           kRow1Label, kRow1List, 73);
  comsetParity = addList("comsetParity", TComProperty::cpParity, "Parity", kColumn3, kRow1Label,
                         kRow1List, 73);
  comsetStopBits = addList("comsetStopBits", TComProperty::cpStopBits, "Stop Bits", kColumn4,
                           kRow1Label, kRow1List, 73);
  comsetBaudRate = addList("comsetBaudRate", TComProperty::cpBaudRate, "BaudRate", kColumn1,
                           kRow2Label, kRow2List, 113);
  comsetFlowControl = addList("comsetFlowControl", TComProperty::cpFlowControl, "FlowControl",
                              kColumn2, kRow2Label, kRow2List, 241);

  // In the gap between the port list and the next column, so that nothing
  // of the layout moves; not a tab stop, so the tab order stays as it was
  // (F5 does the same from the keyboard).
  refreshPortsButton = new QToolButton(frame);
  refreshPortsButton->setObjectName(QStringLiteral("bRefreshPorts"));
  refreshPortsButton->setGeometry(Scaled(QRect(kColumn1 + 113 + 2, kRow1List, 20, 23)));
  // Its icon comes at the first show too: the style looks it up in the
  // desktop's icon theme, a search through folders of icons.
  refreshPortsButton->setAutoRaise(true);
  refreshPortsButton->setFocusPolicy(Qt::NoFocus);
  refreshPortsButton->setToolTip(QStringLiteral("Read the list of ports again (F5)"));
  connect(refreshPortsButton, &QToolButton::clicked, this, [this] { RefreshPorts(); });
  auto* refreshKey = new QShortcut(QKeySequence(Qt::Key_F5), this);
  connect(refreshKey, &QShortcut::activated, this, [this] { RefreshPorts(); });

  AddLabel(*frame, "End packet timeout", QPoint(kColumn1, kRow3 + 3));
  seEnd = new IntervalField(frame);
  seEnd->setGeometry(Scaled(QRect(kColumn2, kRow3, 73, 23)));
  AddLabel(*frame, "ms", QPoint(kColumn2 + 73 + 6, kRow3 + 3));
  // On the buttons' row, between Fix Time and Cancel: the frame's rows are
  // full, and the dialog keeps its size.
  cbCutAtSilences = new QCheckBox(QStringLiteral("Cut at the line's silences"), this);
  cbCutAtSilences->setObjectName(QStringLiteral("cbCutAtSilences"));
  cbCutAtSilences->setGeometry(Scaled(QRect(194, 202, 186, 21)));
  cbCutAtSilences->setToolTip(
      QStringLiteral("End a packet at every silence longer than the end packet timeout (the Modbus RTU rule).\n"
                     "Off: bytes less than 10 ms apart share a packet, as the serial read groups them, so an\n"
                     "answer that follows its request within about 10 ms shares its row."));

  okButton = AddButton(*this, "&Ok", QPoint(16, 201));
  fixTimeButton = AddButton(*this, "&Fix Time", QPoint(104, 201));
  cancelButton = AddButton(*this, "&Cancel", QPoint(478 - 16 - 80, 201));
  okButton->setDefault(true);

  SetTabOrder({comsetCOMPORT, comsetDataBits, comsetParity, comsetStopBits, comsetBaudRate,
               comsetFlowControl, seEnd, cbCutAtSilences, okButton, fixTimeButton, cancelButton});

  comsetBaudRate->OnChange = [this](TComComboBox&) { comsetBaudRateChange(); };
  connect(okButton, &QPushButton::clicked, this,
          [this] { RunReportingErrors([this] { JvXPButton1Click(); }); });
  connect(fixTimeButton, &QPushButton::clicked, this, [this] { JvXPButton3Click(); });
  connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

void SerialSettingsDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;
  FormShow();
  FocusWithTextSelected(*comsetCOMPORT);
}

void SerialSettingsDialog::FormShow() {
  if (!portListMade_) {
    portListMade_ = true;
    refreshPortsButton->setIcon(style()->standardIcon(QStyle::SP_BrowserReload));
    try {
      comsetCOMPORT->SetComProperty(TComProperty::cpPort);
    } catch (const EComPort&) {
      // The machine's port list cannot be read: the list stays empty and
      // the port keeps its name.
    }
  } else {
    RefreshPorts();
  }
  comsetBaudRateChange();
  cbCutAtSilences->setChecked(port_.CutAtSilences());
}

void SerialSettingsDialog::RefreshPorts() {
  try {
    comsetCOMPORT->RefreshPortList();
  } catch (const EComPort&) {
    // No device list to read: the list stays empty, a name can still be
    // typed.
  }
}

void SerialSettingsDialog::comsetBaudRateChange() { seEnd->setValue(framer_.Interval()); }

void SerialSettingsDialog::JvXPButton3Click() { seEnd->setValue(1); }

void SerialSettingsDialog::JvXPButton1Click() {
  framer_.SetInterval(seEnd->AcceptedInterval());
  port_.SetCutAtSilences(cbCutAtSilences->isChecked());
  // A port list without a selection (the port in use is not on this
  // machine) keeps the port's name: applying it would write an empty name
  // and the next Start would fail.
  if (!comsetCOMPORT->Text().isEmpty()) comsetCOMPORT->ApplySelection();
  comsetBaudRate->ApplySelection();
  comsetDataBits->ApplySelection();
  comsetParity->ApplySelection();
  comsetStopBits->ApplySelection();
  comsetFlowControl->ApplySelection();
  accept();
}

}  // namespace tessaly
