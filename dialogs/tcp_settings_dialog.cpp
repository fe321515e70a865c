#include "dialogs/tcp_settings_dialog.h"

#include "presentation/error_report.h"
#include "presentation/ui_scale.h"
#include "core/packet_framer.h"
#include "dialogs/dialog_layout.h"
#include "dialogs/first_field_focus.h"
#include "dialogs/interval_field.h"
#include "dialogs/ipv4_address_field.h"
#include "dialogs/port_field.h"
#include "links/tcp/client_socket.h"

#include <QFrame>
#include <QPushButton>
#include <QShowEvent>

namespace tessaly {
namespace {

// Design positions inside the frame, at 120 pixels per inch: the three
// fields end at one right edge, with room for "ms" after the last.
constexpr int kLabelX = 16;
constexpr int kFieldsRight = 252;
constexpr int kLine1 = 28;
constexpr int kLine2 = 64;
constexpr int kLine3 = 100;

QRect FieldGeometry(int line, int width) {
  return Scaled(QRect(kFieldsRight - width, line, width, 23));
}

}  // namespace

TcpSettingsDialog::TcpSettingsDialog(TClientSocket& socket, PacketFramer& framer, QWidget* parent)
    : QDialog(parent), socket_(socket), framer_(framer) {
  setObjectName(QStringLiteral("fmTCPset"));
  setWindowTitle(QStringLiteral("TCP/IP Settings"));
  setFont(DesignFont());
  MakeFixedSizeDialog(*this, QSize(328, 217));

  QFrame* frame = AddFrame(*this, QRect(16, 16, 297, 153));
  AddLabel(*frame, "IP Address", QPoint(kLabelX, kLine1 + 3));
  eIP = new Ipv4AddressField(frame);
  eIP->setGeometry(FieldGeometry(kLine1, 153));
  AddLabel(*frame, "TCP Port", QPoint(kLabelX, kLine2 + 3));
  ePort = new PortField(frame);
  ePort->setGeometry(FieldGeometry(kLine2, 89));
  AddLabel(*frame, "End packet timeout", QPoint(kLabelX, kLine3 + 3));
  seEnd = new IntervalField(frame);
  seEnd->setGeometry(FieldGeometry(kLine3, 73));
  AddLabel(*frame, "ms", QPoint(kFieldsRight + 6, kLine3 + 3));

  okButton = AddButton(*this, "&Ok", QPoint(16, 182));
  cancelButton = AddButton(*this, "&Cancel", QPoint(328 - 16 - 80, 182));
  okButton->setDefault(true);
  SetTabOrder({eIP, ePort, seEnd, okButton, cancelButton});

  connect(okButton, &QPushButton::clicked, this,
          [this] { RunReportingErrors([this] { JvXPButton1Click(); }); });
  connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

void TcpSettingsDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;
  FormShow();
  FocusWithTextSelected(*eIP);
}

void TcpSettingsDialog::FormShow() {
  seEnd->setValue(framer_.Interval());
  eIP->SetAddress(socket_.Address());
  ePort->SetPort(socket_.Port());
}

void TcpSettingsDialog::JvXPButton1Click() {
  framer_.SetInterval(seEnd->AcceptedInterval());
  // Refused with "Can't change value while socket is active" when the client
  // is connected and the value differs: the failure is shown and the dialog
  // stays open, with the interval already in effect.
  // An address field left blank (the client's address is no dotted IPv4
  // address, a hand-edited store can hold anything) keeps that address:
  // writing 0.0.0.0 would aim the next Start at this machine instead.
  if (!eIP->IsBlank()) socket_.SetAddress(eIP->Address());
  socket_.SetPort(ePort->value());
  accept();
}

}  // namespace tessaly
