#pragma once

#include <QDialog>

class QCheckBox;
class QPushButton;
class QToolButton;

namespace tessaly {

class IntervalField;
class PacketFramer;
class TComComboBox;
class TComPort;

// The serial settings dialog: the port, its line settings and the
// end-of-packet timeout. Created once at start-up and only hidden between
// showings, so its lists keep what the user picked, even after Cancel; the
// timeout is reloaded from the timer at every showing, and the port list
// is read again (ports come and go while the program runs). Nothing changes
// until Ok.
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
  // Reads the machine's ports again, keeping the port name shown. Runs at
  // every showing, from the small button beside the list, and on F5.
  void RefreshPorts();

  TComComboBox* comsetCOMPORT;
  TComComboBox* comsetDataBits;
  TComComboBox* comsetParity;
  TComComboBox* comsetStopBits;
  TComComboBox* comsetBaudRate;
  TComComboBox* comsetFlowControl;
  IntervalField* seEnd;
  // How the line is cut: at every silence longer than the timeout (the
  // Modbus rule) rather than by the serial read's grouping. Off unless
  // chosen; kept with the port's values.
  QCheckBox* cbCutAtSilences;
  QToolButton* refreshPortsButton;
  QPushButton* okButton;
  QPushButton* fixTimeButton;
  QPushButton* cancelButton;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void FormShow();

  PacketFramer& framer_;
  TComPort& port_;
  // The port list is read (and the refresh button's icon looked up) when
  // the dialog first shows, not when the program starts: reading the list
  // looks through the machine's devices and the programs that hold them.
  bool portListMade_ = false;
};

}  // namespace tessaly
