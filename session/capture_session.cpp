#include "session/capture_session.h"

#include "links/link_holder.h"
#include "links/serial/com_text.h"
#include "presentation/failure_report.h"
#include "session/capture_reporter.h"

namespace tessaly {

CaptureSession::CaptureSession(Data& links, PacketSink& sink, CaptureReporter& reporter, QObject* parent)
    : QObject(parent),
      links_(links),
      reporter_(reporter),
      serialSource_(links.ComPort()),
      socketSource_(links.Socket().Socket()),
      endPacketTimer_(this),
      framer_(endPacketTimer_, sink) {
  endPacketTimer_.setObjectName(QStringLiteral("EndPacketTimer"));
  // A failure ending a packet goes to the error report; the event loop goes on.
  connect(&endPacketTimer_, &QTimer::timeout, this, [this] { RunReportingErrors([this] { EndOfPacket(); }); });
}

CaptureSession::~CaptureSession() {
  links_.ComPort().OnRxChar = nullptr;
  links_.ComPort().OnLinkLost = nullptr;
  links_.Socket().OnRead = nullptr;
  links_.Socket().OnError = nullptr;
}

void CaptureSession::BindHandlers() {
  TComPort& port = links_.ComPort();
  TClientSocket& socket = links_.Socket();
  port.OnRxChar = handlers_.rxChar ? handlers_.rxChar
                                   : [this](TCustomComPort&, int) { SerialBytesAvailable(); };
  socket.OnRead = handlers_.read ? handlers_.read
                                 : [this](TCustomSocket&, TCustomWinSocket&) { SocketBytesAvailable(); };
  socket.OnError = handlers_.error;
  port.OnLinkLost = [this](TCustomComPort&, const QString& message) { SerialLinkLost(message); };
}

void CaptureSession::SerialBytesAvailable() { framer_.OnBytesAvailable(serialSource_); }

void CaptureSession::SocketBytesAvailable() { framer_.OnBytesAvailable(socketSource_); }

void CaptureSession::EndOfPacket() { framer_.OnEndOfPacket(); }

void CaptureSession::OpenSerial() {
  links_.ComPort().Open();
  opened_ = SerialLineOf(links_.ComPort(), framer_.Interval());
  // Bytes left from an earlier run are dropped; nothing of the new opening
  // can have been handled yet, since no event ran since it opened.
  framer_.Reset();
}

void CaptureSession::StartTcp() {
  // Dropped before the attempt starts: the gateway's first bytes may come
  // while the owner waits for the connection, and they must reach the log.
  framer_.Reset();
  opened_ = TcpLineOf(links_.Socket(), gatewayBitsPerSecond_, framer_.Interval());
  links_.Socket().SetActive(true);
}

void CaptureSession::Close() {
  // Each link hands what it has read to the handlers before it closes; a
  // failure of one never keeps the other open.
  std::exception_ptr failure;
  try {
    links_.ComPort().Close();
  } catch (...) {
    failure = std::current_exception();
  }
  try {
    links_.Socket().Close();
  } catch (...) {
    if (!failure) failure = std::current_exception();
  }
  if (failure) std::rethrow_exception(failure);
}

bool CaptureSession::LinkOpen() const {
  return links_.ComPort().Connected() || links_.Socket().Active();
}

LineDescription CaptureSession::Line() const {
  LineDescription line = opened_ ? *opened_ : SerialLineOf(links_.ComPort(), framer_.Interval());
  line.intervalMs = framer_.Interval();
  return line;
}

void CaptureSession::SerialLinkLost(const QString& message) {
  // The device went away under an open port, after every byte read from it
  // was handled: close it, then say why, once. Start works again once the
  // device is back.
  RunReportingErrors([this] { links_.ComPort().Close(); });
  reporter_.LinkLost(message, QStringLiteral("Port %1 was closed: the device went away or failed (an adapter "
                                             "unplugged, a pseudo-terminal closed by its program). Press Start "
                                             "again once it is back.")
                                  .arg(DisplayedPortName(links_.ComPort().Port())));
}

}  // namespace tessaly
