#pragma once

#include <QDialog>

class QPushButton;

namespace tessaly {

class IntervalField;
class PacketFramer;
class TComComboBox;
class TComPort;

// The serial settings dialog: the port, its line settings and the
// end-of-packet timeout. Created once at start-up and only hidden between
// showings, so its lists keep what the user picked, even after Cancel; the
// timeout is reloaded from the timer at every showing. Nothing changes until
// Ok.
class SerialSettingsDialog : public QDialog {
  Q_OBJECT

 public:
  SerialSettingsDialog(TComPort& port, PacketFramer& framer, QWidget* parent = nullptr);

  // "&Ok": the timeout into the timer, then each list's pick into the port.
  void JvXPButton1Click();
  // "&Fix Time": puts 1 into the timeout field.
  void JvXPButton3Click();
  // Shows the timer's current interval in the timeout field.
  void comsetBaudRateChange();

  TComComboBox* comsetCOMPORT;
  TComComboBox* comsetDataBits;
  TComComboBox* comsetParity;
  TComComboBox* comsetStopBits;
  TComComboBox* comsetBaudRate;
  TComComboBox* comsetFlowControl;
  IntervalField* seEnd;
  QPushButton* okButton;
  QPushButton* fixTimeButton;
  QPushButton* cancelButton;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void FormShow();

  PacketFramer& framer_;
};

}  // namespace tessaly
