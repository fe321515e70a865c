#include "dialogs/second_line_dialog.h"

#include "dialogs/dialog_layout.h"
#include "dialogs/serial_settings_dialog.h"
#include "dialogs/tcp_settings_dialog.h"
#include "links/serial/com_text.h"
#include "session/link_holder.h"
#include "presentation/ui_scale.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace tessaly {
namespace {

constexpr int kLabelX = 16;
constexpr int kFieldX = 150;
constexpr int kWhereX = kFieldX + 130;

// A line's port ("ttyUSB0") or gateway ("192.168.0.1:502"), as the status
// bar names it.
QString WhereOf(bool tcp, Data& links) {
  if (tcp) return QStringLiteral("%1:%2").arg(links.Socket().Address()).arg(links.Socket().Port());
  return DisplayedPortName(links.ComPort().Port(), 24);
}

QLabel* AddWhere(QFrame& frame, const char* objectName, int y) {
  auto* where = new QLabel(&frame);
  where->setObjectName(QLatin1String(objectName));
  where->setGeometry(Scaled(QRect(kWhereX, y, 449 - kWhereX - 8, 23)));
  return where;
}

}  // namespace

SecondLineDialog::SecondLineDialog(Data& secondLinks, PacketFramer& secondFramer, QWidget* parent)
    : QDialog(parent), secondLinks_(secondLinks) {
  setObjectName(QStringLiteral("fmSecondLine"));
  setWindowTitle(QStringLiteral("Second line"));
  setFont(DesignFont());
  MakeFixedSizeDialog(*this, QSize(478, 274));

  QFrame* frame = AddFrame(*this, QRect(16, 16, 449, 217));
  cbSecondLine = new QCheckBox(QStringLiteral("Capture a second line beside the first"), frame);
  cbSecondLine->setObjectName(QStringLiteral("cbSecondLine"));
  cbSecondLine->setGeometry(Scaled(QRect(kLabelX, 14, 400, 23)));

  AddLabel(*frame, "Link", QPoint(kLabelX, 52));
  rbSecondSerial = new QRadioButton(QStringLiteral("Serial"), frame);
  rbSecondSerial->setObjectName(QStringLiteral("rbSecondSerial"));
  rbSecondSerial->setGeometry(Scaled(QRect(kFieldX, 49, 80, 23)));
  rbSecondTcp = new QRadioButton(QStringLiteral("TCP/IP"), frame);
  rbSecondTcp->setObjectName(QStringLiteral("rbSecondTcp"));
  rbSecondTcp->setGeometry(Scaled(QRect(kFieldX, 81, 80, 23)));
  auto* links = new QButtonGroup(this);
  links->addButton(rbSecondSerial);
  links->addButton(rbSecondTcp);
  rbSecondSerial->setChecked(true);
  // The usual dialogs, for the second line's own port, gateway and interval.
  bSecondSerialSettings = new QPushButton(QStringLiteral("Serial settings\u2026"), frame);
  bSecondSerialSettings->setObjectName(QStringLiteral("bSecondSerialSettings"));
  bSecondSerialSettings->setGeometry(Scaled(QRect(kFieldX + 100, 48, 170, 25)));
  bSecondTcpSettings = new QPushButton(QStringLiteral("TCP/IP settings\u2026"), frame);
  bSecondTcpSettings->setObjectName(QStringLiteral("bSecondTcpSettings"));
  bSecondTcpSettings->setGeometry(Scaled(QRect(kFieldX + 100, 80, 170, 25)));

  AddLabel(*frame, "First line's name", QPoint(kLabelX, 122));
  eFirstName = new QLineEdit(frame);
  eFirstName->setObjectName(QStringLiteral("eFirstName"));
  eFirstName->setMaxLength(32);
  eFirstName->setGeometry(Scaled(QRect(kFieldX, 119, 120, 23)));
  AddLabel(*frame, "Second line's name", QPoint(kLabelX, 152));
  eSecondName = new QLineEdit(frame);
  eSecondName->setObjectName(QStringLiteral("eSecondName"));
  eSecondName->setMaxLength(32);
  eSecondName->setGeometry(Scaled(QRect(kFieldX, 149, 120, 23)));
  lFirstWhere = AddWhere(*frame, "lFirstWhere", 119);
  lSecondWhere = AddWhere(*frame, "lSecondWhere", 149);
  AddLabel(*frame, "Master's side", QPoint(kLabelX, 182));
  cbMasterSide = new QComboBox(frame);
  cbMasterSide->setObjectName(QStringLiteral("cbMasterSide"));
  cbMasterSide->setGeometry(Scaled(QRect(kFieldX, 179, 270, 23)));
  cbMasterSide->addItems({QStringLiteral("Not named (judged from each frame)"), QStringLiteral("The first line"),
                          QStringLiteral("The second line")});

  okButton = AddButton(*this, "&Ok", QPoint(16, 242));
  cancelButton = AddButton(*this, "&Cancel", QPoint(478 - 16 - 80, 242));
  okButton->setDefault(true);
  SetTabOrder({cbSecondLine, rbSecondSerial, rbSecondTcp, bSecondSerialSettings, bSecondTcpSettings, eFirstName,
               eSecondName, cbMasterSide, okButton, cancelButton});

  serialSettings_ = new SerialSettingsDialog(secondLinks.ComPort(), secondFramer, this);
  serialSettings_->setObjectName(QStringLiteral("fmComSet2"));
  serialSettings_->setWindowTitle(QStringLiteral("Serial settings: second line"));
  tcpSettings_ = new TcpSettingsDialog(secondLinks.Socket(), secondFramer, this);
  tcpSettings_->setObjectName(QStringLiteral("fmTCPset2"));
  tcpSettings_->setWindowTitle(QStringLiteral("TCP/IP Settings: second line"));

  // The second line's port or gateway follows its settings as they change.
  connect(bSecondSerialSettings, &QPushButton::clicked, this, [this] {
    serialSettings_->exec();
    ShowSecondWhere();
  });
  connect(bSecondTcpSettings, &QPushButton::clicked, this, [this] {
    tcpSettings_->exec();
    ShowSecondWhere();
  });
  connect(cbSecondLine, &QCheckBox::toggled, this, &SecondLineDialog::EnableFields);
  connect(rbSecondSerial, &QRadioButton::toggled, this, &SecondLineDialog::EnableFields);
  connect(rbSecondSerial, &QRadioButton::toggled, this, &SecondLineDialog::ShowSecondWhere);
  connect(okButton, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
  EnableFields();
}

void SecondLineDialog::Load(const SecondLineSettings& settings) {
  cbSecondLine->setChecked(settings.on);
  (settings.tcp ? rbSecondTcp : rbSecondSerial)->setChecked(true);
  eFirstName->setText(settings.FirstName());
  eSecondName->setText(settings.SecondName());
  cbMasterSide->setCurrentIndex(settings.masterLine + 1);
  EnableFields();
  ShowSecondWhere();
}

void SecondLineDialog::SetFirstLine(bool tcp, Data& links) { lFirstWhere->setText(WhereOf(tcp, links)); }

void SecondLineDialog::ShowSecondWhere() { lSecondWhere->setText(WhereOf(rbSecondTcp->isChecked(), secondLinks_)); }

SecondLineSettings SecondLineDialog::Chosen() const {
  SecondLineSettings settings;
  settings.on = cbSecondLine->isChecked();
  settings.tcp = rbSecondTcp->isChecked();
  settings.firstName = eFirstName->text();
  settings.secondName = eSecondName->text();
  settings.masterLine = cbMasterSide->currentIndex() - 1;
  settings.firstName = settings.FirstName();
  settings.secondName = settings.SecondName();
  return settings;
}

void SecondLineDialog::EnableFields() {
  const bool on = cbSecondLine->isChecked();
  for (QWidget* field : std::initializer_list<QWidget*>{rbSecondSerial, rbSecondTcp, eFirstName, eSecondName,
                                                        cbMasterSide}) {
    field->setEnabled(on);
  }
  bSecondSerialSettings->setEnabled(on && rbSecondSerial->isChecked());
  bSecondTcpSettings->setEnabled(on && rbSecondTcp->isChecked());
}

}  // namespace tessaly
