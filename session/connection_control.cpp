#include "session/connection_control.h"

#include "presentation/failure_report.h"
#include "session/link_holder.h"
#include "session/link_status.h"
#include "links/serial/com_text.h"
#include "links/serial/port_holders.h"
#include "links/serial/port_names.h"
#include "links/tcp/socket_error.h"

#include <QCoreApplication>
#include <QScopedValueRollback>
#include <QThread>

#include <cerrno>

#include <unistd.h>

namespace tessaly {

ConnectionControl::ConnectionControl(CaptureSession& session, ConnectionView& view, QObject* parent)
    : QObject(parent),
      session_(session),
      links_(session.Links()),
      view_(view),
      sleep_([](int milliseconds) { QThread::msleep(static_cast<unsigned long>(milliseconds)); }) {
  // A link that connects or drops by itself is shown as it is.
  connect(&links_, &Data::linkStateChanged, this, [this] {
    if (!starting_) ShowRealLinkState();
  });
}

// A link being opened again after it dropped counts as open: Stop ends the
// retries.
bool ConnectionControl::LinkOpen() const { return session_.LinkOpen() || session_.Retrying(); }

void ConnectionControl::CloseLinks() {
  RunReportingErrors([this] { links_.ComPort().Close(); });
  RunReportingErrors([this] { links_.Socket().Close(); });
  ShowRealLinkState();
}

QString ConnectionControl::Named(const QString& text) const {
  return lineName_.isEmpty() ? text : lineName_ + QStringLiteral(": ") + text;
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
  session_.BindHandlers();
  // The session's error handler decides what becomes of the error; the
  // number is kept first, so that a failed start can say why it failed.
  TClientSocket& socket = links_.Socket();
  socket.OnError = [this, handler = std::move(socket.OnError)](TCustomSocket& sender, TCustomWinSocket& client,
                                                                 TErrorEvent event, int& errorCode) {
    if (starting_ && errorCode != 0) tcpFailureCode_ = errorCode;
    if (handler) handler(sender, client, event, errorCode);
  };
}

void ConnectionControl::Stop() {
  // Every byte read before Stop reaches the packet buffer; the buffer and
  // the end-of-packet timer are then left alone, so the packet collected
  // last is still logged when its silence ends.
  session_.Close();
  ShowRealLinkState();
}

void ConnectionControl::Start() {
  const QScopedValueRollback<bool> starting(starting_, true);
  QString sharedWith;
  if (view_.SerialTransportChosen()) {
    // A port that cannot be opened ends the start here; picture and status
    // stay as they were.
    if (!OpenSerialPort()) return;
    sharedWith = OtherHolders(links_.ComPort().Port());
  }
  if (view_.TcpTransportChosen()) StartTcp();
  GetComPortStates();
  if (LinkOpen()) {
    view_.SetStartPicture(kStopPicture);
    // Said once per start, and not refused: the user may want both.
    if (!sharedWith.isEmpty()) {
      ShowWarningReport(
          Named(QStringLiteral("Another program also has %1 open: %2.")
                    .arg(DisplayedPortName(links_.ComPort().Port()), sharedWith)),
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
    session_.OpenSerial();
    return true;
  } catch (const EComPort& failure) {
    // The message stays the port's own; beside it, which port and why.
    const QString devicePath = QString::fromStdString(DevicePathForPort(port.Port()));
    const QString holders = failure.PlatformCode() == EBUSY ? OtherHolders(port.Port()) : QString();
    ShowErrorReport(Named(failure.Message()),
                    ComFailureDetail(failure.PlatformCode(), port.Port(), devicePath, holders));
    return false;
  }
}

QString ConnectionControl::OtherHolders(const QString& portName) const {
  return HoldersText(OpenDevices(procRoot_).Holding(ResolvedDevicePath(portName), ::getpid()));
}

void ConnectionControl::StartTcp() {
  tcpFailureCode_ = 0;
  view_.ShowProgress(QStringLiteral("Connecting to %1\u2026").arg(TcpStatusText(links_.Socket())));
  // Work in progress until the wait ends, however it ends.
  struct ProgressShown {
    ConnectionView& view;
    ~ProgressShown() { view.ShowProgress({}); }
  } shown{view_};
  try {
    session_.StartTcp();
  } catch (const ESocketError& failure) {
    // Every TCP failure ends in the one message after the full wait.
    if (failure.ErrorCode() != 0) tcpFailureCode_ = failure.ErrorCode();
  } catch (const std::exception&) {
    // Likewise; without an error number the cause stays unnamed.
  }
  WaitForTcpConnection();
  QCoreApplication::processEvents();
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

}  // namespace tessaly
