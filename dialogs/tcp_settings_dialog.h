#pragma once

#include <QDialog>

class QPushButton;

namespace tessaly {

class IntervalField;
class Ipv4AddressField;
class PacketFramer;
class PortField;
class TClientSocket;

// The TCP/IP settings dialog: the gateway's address and port and the
// end-of-packet timeout. All three fields are reloaded at every showing.
// It opens in any link state; changing the address or port of an active
// client is refused by the client, and the dialog then stays open.
class TcpSettingsDialog : public QDialog {
  Q_OBJECT

 public:
  TcpSettingsDialog(TClientSocket& socket, PacketFramer& framer, QWidget* parent = nullptr);

  // "&Ok": the timeout into the timer, then the address and port into the
  // client; closes only when all of it was taken.
  void JvXPButton1Click();

  Ipv4AddressField* eIP;
  PortField* ePort;
  IntervalField* seEnd;
  QPushButton* okButton;
  QPushButton* cancelButton;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void FormShow();

  TClientSocket& socket_;
  PacketFramer& framer_;
};

}  // namespace tessaly
