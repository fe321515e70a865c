#include "links/connection_control.h"

#include "presentation/error_report.h"
#include "capture/packet_framer.h"
#include "links/link_holder.h"
#include "links/link_status.h"
#include "links/serial/port_holders.h"
#include "links/serial/port_names.h"
#include "links/tcp/socket_error.h"

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QScopedValueRollback>
#include <QThread>

#include <cerrno>

#include <unistd.h>

namespace tessaly {

ConnectionControl::ConnectionControl(Data& links, PacketFramer& framer, ConnectionView& view,
                                     LinkHandlers handlers, QObject* parent)
    : QObject(parent),
      links_(links),
      framer_(framer),
      view_(view),
      handlers_(std::move(handlers)),
      sleep_([](int milliseconds) { QThread::msleep(static_cast<unsigned long>(milliseconds)); }) {
  // A link that connects or drops by itself is shown as it is.
  connect(&links_, &Data::linkStateChanged, this, [this] {
    if (!starting_) ShowRealLinkState();
  });
}

ConnectionControl::~ConnectionControl() {
  links_.ComPort().OnRxChar = nullptr;
  links_.ComPort().OnLinkLost = nullptr;
  links_.Socket().OnRead = nullptr;
  links_.Socket().OnError = nullptr;
}

bool ConnectionControl::LinkOpen() const {
  return links_.ComPort().Connected() || links_.Socket().Active();
}

void ConnectionControl::CloseLinks() {
  RunReportingErrors([this] { links_.ComPort().Close(); });
  RunReportingErrors([this] { links_.Socket().Close(); });
  ShowRealLinkState();
}

void ConnectionControl::StartStop() {
  if (starting_) return;
  BindHandlers();
  if (LinkOpen()) {
    Stop();
  } else {
    Start();
  }
}

void ConnectionControl::BindHandlers() {
  TClientSocket& socket = links_.Socket();
  TComPort& port = links_.ComPort();
  // The window's handler decides what becomes of the error; the number is
  // kept first, so that a failed start can say why it failed.
  socket.OnError = [this](TCustomSocket& sender, TCustomWinSocket& client, TErrorEvent event,
                          int& errorCode) {
    if (starting_ && errorCode != 0) tcpFailureCode_ = errorCode;
    if (handlers_.error) handlers_.error(sender, client, event, errorCode);
  };
  port.OnRxChar = handlers_.rxChar;
  socket.OnRead = handlers_.read;
  port.OnLinkLost = [this](TCustomComPort&, const QString& message) {
    OnSerialLinkLost(message);
  };
}

void ConnectionControl::Stop() {
  links_.ComPort().Close();
  links_.Socket().Close();
  // The packet buffer and the end-of-packet timer are left alone: a packet
  // collected just before Stop is still logged when its silence ends.
  ShowRealLinkState();
}

void ConnectionControl::Start() {
  const QScopedValueRollback<bool> starting(starting_, true);
  QString sharedWith;
  if (view_.SerialTransportChosen()) {
    // A port that cannot be opened ends the start here; picture and status
    // stay as they were.
    if (!OpenSerialPort()) return;
    // Bytes left from an earlier run are dropped; nothing of the new
    // opening can have been read yet, since no event ran since it opened.
    framer_.Reset();
    sharedWith = OtherHolders(links_.ComPort().Port());
  }
  if (view_.TcpTransportChosen()) StartTcp();
  GetComPortStates();
  if (LinkOpen()) {
    view_.SetStartPicture(kStopPicture);
    // Said once per start, and not refused: the user may want both.
    if (!sharedWith.isEmpty()) {
      ShowWarningReport(
          QStringLiteral("Another program also has %1 open: %2.").arg(links_.ComPort().Port(), sharedWith),
          QStringLiteral("Whatever it reads is lost to this log, which then misses packets or parts of "
                         "them. Close it if the log should see every byte."));
    }
    return;
  }
  const QString detail = ConnectFailureDetail(
      tcpFailureCode_, links_.Socket().Address(), links_.Socket().Port());
  view_.ShowTcpStartFailure(detail);
  links_.Socket().Close();
  sleep_(100);
  view_.SetStartPicture(kStartPicture);
}

bool ConnectionControl::OpenSerialPort() {
  TComPort& port = links_.ComPort();
  try {
    port.Open();
    return true;
  } catch (const EComPort& failure) {
    // The message stays the port's own; beside it, which port and why.
    const QString devicePath = QString::fromStdString(DevicePathForPort(port.Port()));
    const QString holders = failure.PlatformCode() == EBUSY ? OtherHolders(port.Port()) : QString();
    ShowErrorReport(failure.Message(),
                    ComFailureDetail(failure.PlatformCode(), port.Port(), devicePath, holders));
    return false;
  }
}

QString ConnectionControl::OtherHolders(const QString& portName) const {
  return HoldersText(OpenDevices(procRoot_).Holding(ResolvedDevicePath(portName), ::getpid()));
}

void ConnectionControl::StartTcp() {
  // Dropped before the attempt starts: the wait below already reads what
  // the gateway sends once connected, and that must reach the log.
  framer_.Reset();
  tcpFailureCode_ = 0;
  view_.ShowProgress(QStringLiteral("Connecting to %1\u2026").arg(TcpStatusText(links_.Socket())));
  // Work in progress until the wait ends, however it ends.
  struct BusyCursor {
    BusyCursor() { QGuiApplication::setOverrideCursor(Qt::BusyCursor); }
    ~BusyCursor() { QGuiApplication::restoreOverrideCursor(); }
  } busy;
  try {
    links_.Socket().SetActive(true);
  } catch (const ESocketError& failure) {
    // Every TCP failure ends in the one message after the full wait.
    if (failure.ErrorCode() != 0) tcpFailureCode_ = failure.ErrorCode();
  } catch (const std::exception&) {
    // Likewise; without an error number the cause stays unnamed.
  }
  WaitForTcpConnection();
  QCoreApplication::processEvents();
  view_.ShowProgress({});
  // An attempt still under way after the wait got no answer in time.
  if (tcpFailureCode_ == 0) tcpFailureCode_ = ETIMEDOUT;
}

void ConnectionControl::WaitForTcpConnection() {
  for (int pass = 0; !links_.Socket().Active() && pass < kTcpWaitPasses; ++pass) {
    QCoreApplication::processEvents();
    sleep_(kTcpWaitSleepMs);
  }
}

void ConnectionControl::GetComPortStates() {
  const auto stateText = [](bool open) {
    return QString::fromLatin1(open ? kConnectedText : kNotConnectedText);
  };
  if (view_.SerialTransportChosen()) {
    view_.ShowLinkStatus(stateText(links_.ComPort().Connected()),
                         SerialStatusText(links_.ComPort()));
  }
  if (view_.TcpTransportChosen()) {
    view_.ShowLinkStatus(stateText(links_.Socket().Active()), TcpStatusText(links_.Socket()));
  }
}

void ConnectionControl::ShowRealLinkState() {
  GetComPortStates();
  view_.SetStartPicture(LinkOpen() ? kStopPicture : kStartPicture);
}

void ConnectionControl::OnSerialLinkLost(const QString& message) {
  // The device went away under an open port: close it, show the idle state,
  // then say why, once. What was logged stays; Start works again once the
  // device is back.
  RunReportingErrors([this] { links_.ComPort().Close(); });
  ShowRealLinkState();
  ShowErrorReport(message, QStringLiteral("Port %1 was closed: the device went away or failed (an adapter "
                                          "unplugged, a pseudo-terminal closed by its program). Press Start "
                                          "again once it is back.")
                               .arg(links_.ComPort().Port()));
}

}  // namespace tessaly
