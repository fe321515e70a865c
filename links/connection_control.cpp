#include "links/connection_control.h"

#include "presentation/error_report.h"
#include "capture/packet_framer.h"
#include "links/link_holder.h"
#include "links/link_status.h"

#include <QCoreApplication>
#include <QScopedValueRollback>
#include <QThread>

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
  socket.OnError = handlers_.error;
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
  if (view_.SerialTransportChosen()) {
    // Not guarded: a port that cannot be opened ends the start here and its
    // failure reaches the error report; picture and status stay as they were.
    links_.ComPort().Open();
    // Bytes left from an earlier run are dropped; nothing of the new
    // opening can have been read yet, since no event ran since it opened.
    framer_.Reset();
  }
  if (view_.TcpTransportChosen()) {
    // Dropped before the attempt starts: the wait below already reads what
    // the gateway sends once connected, and that must reach the log.
    framer_.Reset();
    try {
      links_.Socket().SetActive(true);
    } catch (const std::exception&) {
      // Every TCP failure ends in the one message below, after the full wait.
    }
    WaitForTcpConnection();
    QCoreApplication::processEvents();
  }
  GetComPortStates();
  if (LinkOpen()) {
    view_.SetStartPicture(kStopPicture);
    return;
  }
  view_.ShowTcpStartFailure();
  links_.Socket().Close();
  sleep_(100);
  view_.SetStartPicture(kStartPicture);
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
  ShowErrorReport(message);
}

}  // namespace tessaly
