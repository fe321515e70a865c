#include "session/capture_session.h"

#include "session/link_holder.h"
#include "session/link_status.h"
#include "links/tcp/socket_error.h"
#include "links/serial/com_text.h"
#include "presentation/failure_report.h"
#include "session/capture_reporter.h"

#include <algorithm>
#include <array>
#include <utility>

namespace tessaly {

CaptureSession::CaptureSession(Data& links, PacketSink& sink, CaptureReporter& reporter, QObject* parent)
    : QObject(parent),
      links_(links),
      sink_(sink),
      reporter_(reporter),
      serialSource_(links.ComPort()),
      socketSource_(links.Socket().Socket()),
      endPacketTimer_(this),
      framer_(endPacketTimer_, sink) {
  endPacketTimer_.setObjectName(QStringLiteral("EndPacketTimer"));
  // A failure ending a packet goes to the error report; the event loop goes on.
  connect(&endPacketTimer_, &QTimer::timeout, this, [this] { RunReportingErrors([this] { EndOfPacket(); }); });
  retry_.setInterval(1000);
  connect(&retry_, &QTimer::timeout, this, [this] { RunReportingErrors([this] { Retry(); }); });
  connect(&links_, &Data::linkStateChanged, this, [this] { TcpStateChanged(); });
  framer_.SetIntervalChanged([this](int) { ApplyCutRules(); });
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
  // The error number is kept for the cause of a drop; the owner's handler
  // decides what else becomes of it.
  socket.OnError = [this](TCustomSocket& sender, TCustomWinSocket& client, TErrorEvent event, int& errorCode) {
    if (errorCode != 0) tcpError_ = errorCode;
    if (handlers_.error) {
      handlers_.error(sender, client, event, errorCode);
    } else {
      // Told by the session itself: a drop as a drop, a failed start by its
      // owner's wait for the connection.
      errorCode = 0;
    }
  };
  port.OnLinkLost = [this](TCustomComPort&, const QString& message) { SerialLinkLost(message); };
}

// However many packets a wake-up finds, they all go now: a window that was
// busy takes what came meanwhile in one pass.
void CaptureSession::SerialBytesAvailable() {
  std::array<std::uint8_t, PacketCutter::kCapacity> place;
  while (const std::optional<LineRecorder::Packet> packet = links_.ComPort().TakePacket(place.data())) {
    Deliver(place.data(), *packet);
  }
}

void CaptureSession::SocketBytesAvailable() {
  std::array<std::uint8_t, PacketCutter::kCapacity> place;
  while (const std::optional<LineRecorder::Packet> packet = links_.Socket().Socket().TakePacket(place.data())) {
    Deliver(place.data(), *packet);
  }
}

void CaptureSession::Deliver(const std::uint8_t* bytes, const LineRecorder::Packet& packet) {
  PacketTiming timing;
  timing.firstByte = WallClockOf(packet.firstByte);
  timing.lastByte = WallClockOf(packet.lastByte);
  timing.ended = WallClockOf(packet.ended);
  timing.firstByteOnLine = packet.firstByte;
  sink_.AppendPacket(bytes, packet.count, timing);
}

void CaptureSession::SetCutAtSilences(bool on) {
  links_.ComPort().SetCutAtSilences(on);
  ApplyCutRules();
}

bool CaptureSession::CutAtSilences() const { return links_.ComPort().CutAtSilences(); }

PacketCutter::Rules CaptureSession::SerialCutRules() const {
  // The read grouping of the serial read: its interval timeout joins bytes,
  // its total timeout (for a full buffer's worth) ends a read.
  const TComTimeouts& timeouts = links_.ComPort().Timeouts();
  PacketCutter::Rules rules;
  rules.interval = std::chrono::milliseconds(framer_.Interval());
  rules.cutAtSilences = CutAtSilences();
  rules.readGap = std::chrono::milliseconds(std::max(timeouts.ReadInterval(), 0));
  const std::int64_t total = std::int64_t{timeouts.ReadTotalMultiplier()} * PacketCutter::kCapacity +
                             timeouts.ReadTotalConstant();
  rules.readTotal = total > 0 ? std::optional(std::chrono::milliseconds(total)) : std::nullopt;
  return rules;
}

PacketCutter::Rules CaptureSession::TcpCutRules() const {
  // A socket's receive takes what has come: each burst is a read of its own.
  PacketCutter::Rules rules;
  rules.interval = std::chrono::milliseconds(framer_.Interval());
  rules.cutAtSilences = CutAtSilences();
  rules.readGap = PacketCutter::Duration::zero();
  rules.readTotal = std::nullopt;
  return rules;
}

void CaptureSession::ApplyCutRules() {
  links_.ComPort().SetPacketCutting(SerialCutRules());
  links_.Socket().Socket().SetPacketCutting(TcpCutRules());
}

void CaptureSession::EndOfPacket() { framer_.OnEndOfPacket(); }

void CaptureSession::OpenSerial() {
  links_.ComPort().SetPacketCutting(SerialCutRules());
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
  tcpError_ = 0;
  links_.Socket().Socket().SetPacketCutting(TcpCutRules());
  links_.Socket().SetActive(true);
}

void CaptureSession::Close() {
  retry_.stop();
  const bool wasClosing = std::exchange(closing_, true);
  struct EndClosing {
    bool& closing;
    bool was;
    ~EndClosing() { closing = was; }
  } endClosing{closing_, wasClosing};
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

LineTime CaptureSession::CompleteUntil() const {
  LineTime until = LineTime::max();
  if (const auto serial = links_.ComPort().CompleteUntil()) until = std::min(until, *serial);
  if (const auto tcp = links_.Socket().Socket().CompleteUntil()) until = std::min(until, *tcp);
  return until;
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
  {
    const bool wasClosing = std::exchange(closing_, true);
    RunReportingErrors([this] { links_.ComPort().Close(); });
    closing_ = wasClosing;
  }
  Dropped(QStringLiteral("%1: %2").arg(DisplayedPortName(links_.ComPort().Port()), message));
  if (Retrying()) return;
  reporter_.LinkLost(message, QStringLiteral("Port %1 was closed: the device went away or failed (an adapter "
                                             "unplugged, a pseudo-terminal closed by its program). Press Start "
                                             "again once it is back.")
                                  .arg(DisplayedPortName(links_.ComPort().Port())));
}

void CaptureSession::TcpStateChanged() {
  const bool active = links_.Socket().Active();
  if (active && !tcpUp_) {
    tcpUp_ = true;
    if (Retrying()) {
      retry_.stop();
      reporter_.LinkBack(TcpStatusText(links_.Socket()), WallClockNow());
    }
    return;
  }
  if (active || !tcpUp_) return;
  tcpUp_ = false;
  if (closing_) return;
  // The gateway closed or reset the connection, or it failed: every byte
  // taken before has reached the framing (its end comes after them).
  const QString where = QStringLiteral("TCP %1").arg(TcpStatusText(links_.Socket()));
  const QString cause = tcpError_ != 0 ? AsyncSocketError(tcpError_).Message()
                                       : QStringLiteral("the gateway closed the connection");
  Dropped(QStringLiteral("%1: %2").arg(where, cause));
}

void CaptureSession::Dropped(const QString& cause) {
  if (reconnect_) retry_.start();
  reporter_.LinkDropped(cause, WallClockNow(), reconnect_);
}

void CaptureSession::Retry() {
  if (!opened_) {
    retry_.stop();
    return;
  }
  if (opened_->link == LineDescription::Link::Tcp) {
    // A pending attempt is abandoned for a new one; the connection's
    // notice ends the retries.
    try {
      if (!links_.Socket().Active()) StartTcp();
    } catch (const std::exception&) {
      // Not back yet: the next second tries again.
    }
    return;
  }
  try {
    OpenSerial();
  } catch (const EComPort&) {
    return;  // not back yet: the next second tries again
  }
  retry_.stop();
  reporter_.LinkBack(DisplayedPortName(links_.ComPort().Port()), WallClockNow());
}

}  // namespace tessaly
