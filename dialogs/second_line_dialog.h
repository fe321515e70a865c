#pragma once

#include "session/second_line_settings.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace tessaly {

class PacketFramer;
class SerialSettingsDialog;
class TcpSettingsDialog;
class Data;

// "Second line…": turns capturing a second line beside the first on or off,
// picks its link (a serial port or the gateway, each set in the usual
// settings dialog, here for the second line's own port, gateway and
// interval), names both lines and tells which carries the master's
// requests. Nothing changes until Ok.
class SecondLineDialog : public QDialog {
  Q_OBJECT

 public:
  SecondLineDialog(Data& secondLinks, PacketFramer& secondFramer, QWidget* parent = nullptr);

  // Shows settings in the fields (call before exec).
  void Load(const SecondLineSettings& settings);
  // The first line's link, whose port or gateway shows beside its name.
  void SetFirstLine(bool tcp, Data& links);
  // What the fields say now.
  SecondLineSettings Chosen() const;

  QCheckBox* cbSecondLine;
  QRadioButton* rbSecondSerial;
  QRadioButton* rbSecondTcp;
  QPushButton* bSecondSerialSettings;
  QPushButton* bSecondTcpSettings;
  QLineEdit* eFirstName;
  QLineEdit* eSecondName;
  QComboBox* cbMasterSide;
  // Each line's port or gateway, beside its name.
  QLabel* lFirstWhere;
  QLabel* lSecondWhere;
  QPushButton* okButton;
  QPushButton* cancelButton;

  SerialSettingsDialog& SerialSettings() const { return *serialSettings_; }
  TcpSettingsDialog& TcpSettings() const { return *tcpSettings_; }

 private:
  void EnableFields();
  void ShowSecondWhere();

  Data& secondLinks_;
  SerialSettingsDialog* serialSettings_;
  TcpSettingsDialog* tcpSettings_;
};

}  // namespace tessaly
