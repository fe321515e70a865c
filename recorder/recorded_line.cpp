#include "recorder/recorded_line.h"

#include "core/local_time_text.h"
#include "links/serial/com_error.h"
#include "links/serial/com_text.h"
#include "links/serial/port_names.h"
#include "links/tcp/socket_error.h"
#include "presentation/failure_report.h"
#include "settings/program_key.h"
#include "settings/registry.h"
#include "settings/store_directory.h"

#include <sys/socket.h>

#include <QMetaObject>

#include <array>
#include <cerrno>

namespace tessaly::record {
namespace {

// Whether a connection attempt reached its peer.
bool PeerAnswered(int handle) {
  sockaddr_storage peer{};
  socklen_t length = sizeof peer;
  return handle >= 0 && ::getpeername(handle, reinterpret_cast<sockaddr*>(&peer), &length) == 0;
}

constexpr int kTcpConnectWaitMs = 2000;  // as long as the window waits for a gateway

TParityBits ParityOf(char letter) {
  switch (letter) {
    case 'O': return prOdd;
    case 'E': return prEven;
    case 'M': return prMark;
    case 'S': return prSpace;
    default: return prNone;
  }
}

QString LocalTimeText(PacketTime time) {
  std::array<char, 40> text{};
  return QString::fromLatin1(text.data(), WriteIsoDateTime(time, text.data()) - text.data());
}

}  // namespace

RecordedLine::RecordedLine(const LineOptions& options, bool fromSettings, bool reconnect, QString name,
                           PacketSink& sink, LineEvents events, QObject* parent)
    : QObject(parent),
      fromSettings_(fromSettings),
      reconnect_(reconnect),
      name_(std::move(name)),
      events_(std::move(events)),
      // Without --settings the store is none at all: nothing is read, and
      // nothing the window program keeps is touched.
      links_(fromSettings ? DefaultStoreDirectory() : std::filesystem::path()),
      session_(links_, sink, *this, this) {
  // A recorder reads the window program's settings but never changes them:
  // an opening stores nothing.
  links_.ComPort().OnAfterOpen = nullptr;
  links_.Socket().OnConnect = [this](TCustomSocket&, TCustomWinSocket&) {
    connected_ = true;
    if (gapSince_) EndGap();
  };
  links_.Socket().OnDisconnect = [this](TCustomSocket&, TCustomWinSocket&) { TcpClosedByGateway(); };
  LinkHandlers handlers;
  handlers.error = [this](TCustomSocket&, TCustomWinSocket&, TErrorEvent, int& errorCode) {
    // Handled here rather than raised inside the socket's notification.
    const int code = errorCode;
    errorCode = 0;
    QMetaObject::invokeMethod(this, [this, code] { TcpFailed(code); }, Qt::QueuedConnection);
  };
  session_.SetHandlers(std::move(handlers));
  retry_.setInterval(1000);
  connect(&retry_, &QTimer::timeout, this, [this] { TryReconnect(); });
  ApplySettings(options);
  session_.BindHandlers();
}

void RecordedLine::ApplySettings(const LineOptions& options) {
  TComPort& port = links_.ComPort();
  TClientSocket& socket = links_.Socket();
  tcp_ = options.link == LinkKind::kTcp;
  if (fromSettings_) {
    links_.DataModuleCreate();
    if (options.link == LinkKind::kNone) {
      TRegistry store(links_.StoreDirectory());
      store.SetRootKey(RegistryRoot::LocalMachine);
      try {
        if (store.OpenKey(kProgramKeyPath, false)) tcp_ = store.ReadString("Transport") == "TCP";
      } catch (const std::exception&) {
        // A damaged choice: the serial port, as the window's menu starts.
      }
    }
  }
  if (options.link == LinkKind::kSerial) port.SetPort(QString::fromStdString(options.serialPath));
  if (options.link == LinkKind::kTcp) {
    socket.SetAddress(QString::fromStdString(options.tcpAddress));
    socket.SetPort(options.tcpPort);
  }
  if (options.baud) {
    if (tcp_) {
      session_.SetGatewayLineSpeed(*options.baud);
    } else {
      TBaudRate rate = brCustom;
      for (int value = br110; value < kBaudRateCount; ++value) {
        if (BaudRateBitsPerSecond(static_cast<TBaudRate>(value)) == *options.baud) rate = static_cast<TBaudRate>(value);
      }
      if (rate == brCustom) port.SetCustomBaudRate(*options.baud);
      port.SetBaudRate(rate);
    }
  }
  if (options.readIntervalMs) port.Timeouts().SetReadInterval(*options.readIntervalMs);
  // A recording is read by programs that decode one frame per packet, and
  // has no window's behaviour to keep: it cuts at the line's silences unless
  // told otherwise, or, from the window's settings, as the window was told.
  if (options.cutAtSilences) {
    port.SetCutAtSilences(*options.cutAtSilences);
  } else if (!fromSettings_) {
    port.SetCutAtSilences(true);
  }
  if (options.dataBits) port.SetDataBits(static_cast<TDataBits>(*options.dataBits - 5));
  if (options.parity) port.Parity().SetBits(ParityOf(*options.parity));
  if (options.stopHalfBits) {
    port.SetStopBits(*options.stopHalfBits == 2 ? sbOneStopBit : *options.stopHalfBits == 3 ? sbOne5StopBits
                                                                                          : sbTwoStopBits);
  }
  if (options.intervalMs) {
    session_.Framer().SetInterval(*options.intervalMs);
  } else {
    // As the window computes it: from the serial port's speed, or from the
    // line behind the gateway when it was given.
    const std::optional<int> gatewaySpeed = session_.GatewayLineSpeed();
    session_.Framer().SetIntervalFromBaudRate(tcp_ && gatewaySpeed ? *gatewaySpeed : port.LineBitsPerSecond());
  }
}

LineDescription RecordedLine::PlannedLine() {
  const int interval = session_.Framer().Interval();
  LineDescription line = tcp_ ? TcpLineOf(links_.Socket(), session_.GatewayLineSpeed(), interval)
                              : SerialLineOf(links_.ComPort(), interval);
  line.name = name_;
  return line;
}

QString RecordedLine::Where() { return PlannedLine().where; }

bool RecordedLine::Open(bool quietFailure) {
  if (tcp_) {
    try {
      session_.StartTcp();
    } catch (const ESocketError& failure) {
      NoteFailure(failure.Message());
      if (!quietFailure) Say(QStringLiteral("Cannot connect to %1: %2").arg(Where(), failure.Message()));
      return false;
    }
    // The attempt completes through the event loop; one that gets no answer
    // in the window's time has failed.
    QTimer::singleShot(kTcpConnectWaitMs, this, [this] {
      if (links_.Socket().Active() || closed_ || gapSince_) return;
      // The gateway did answer, but the connection could not be read (no
      // memory for its reader, said already): no fault of the network.
      TcpFailed(PeerAnswered(links_.Socket().Socket().SocketHandle()) ? ENOMEM : ETIMEDOUT);
    });
    return true;
  }
  try {
    session_.OpenSerial();
    connected_ = true;
    return true;
  } catch (const EComPort& failure) {
    NoteFailure(failure.Message());
    if (!quietFailure) {
      const QString port = links_.ComPort().Port();
      Say(QStringLiteral("Cannot open %1: %2\n%3")
              .arg(DisplayedPortName(port), ErrorReportText(failure.Message()),
                   ComFailureDetail(failure.PlatformCode(), port, QString::fromStdString(DevicePathForPort(port)))));
    }
    return false;
  }
}

void RecordedLine::Close() {
  if (closed_) return;
  closed_ = true;
  retry_.stop();
  // Every byte read reaches the framing as the link closes; the packet that
  // runs then ends here rather than at its silence.
  RunReportingErrors([this] { session_.Close(); });
  EndRunningPacket();
}

void RecordedLine::EndRunningPacket() {
  if (session_.EndPacketTimer().isActive() || session_.Framer().Count() > 0) {
    RunReportingErrors([this] { session_.EndOfPacket(); });
  }
}

void RecordedLine::TcpFailed(int errorCode) {
  if (closed_ || closingOnPurpose_) return;
  if (gapSince_) {
    // An attempt while the gateway is away: the next one comes in a second.
    RunReportingErrors([this] { links_.Socket().Close(); });
    return;
  }
  if (connected_) {
    LinkGone(AsyncSocketError(errorCode).Message());
    return;
  }
  const QString detail = ConnectFailureDetail(errorCode, links_.Socket().Address(), links_.Socket().Port());
  Say(QStringLiteral("Cannot connect to %1: %2").arg(Where(), detail));
  if (!reconnect_) {
    Close();
    events_.gone();
    return;
  }
  RunReportingErrors([this] { links_.Socket().Close(); });
  StartGap(detail);
}

void RecordedLine::TcpClosedByGateway() {
  if (closed_ || closingOnPurpose_ || gapSince_) return;
  LinkGone(QStringLiteral("the gateway closed the connection"));
}

void RecordedLine::LinkLost(const QString& message, const QString&) {
  if (closed_) return;
  LinkGone(message);
}

void RecordedLine::LinkGone(const QString& message) {
  const QString what = tcp_ ? QStringLiteral("The connection to %1 ended: %2.").arg(Where(), message)
                            : QStringLiteral("Port %1 was closed: %2. The device went away or failed (an "
                                             "adapter unplugged, a pseudo-terminal closed by its program).")
                                  .arg(DisplayedPortName(links_.ComPort().Port()), message);
  if (!reconnect_) {
    Say(what);
    Close();
    events_.gone();
    return;
  }
  Say(what + QStringLiteral(" Trying again every second."));
  StartGap(message);
}

void RecordedLine::NoteFailure(const QString& message) {
  // A retry's failure is not why the line was lost: the gap keeps that.
  if (!gapSince_) lostMessage_ = message;
}

void RecordedLine::StartGap(const QString& message) {
  gapSince_ = WallClockNow();
  lostMessage_ = message;
  retry_.start();
}

void RecordedLine::TryReconnect() {
  if (closed_) return;
  // Opening empties the packet buffer: a packet still waiting for its
  // silence (an interval longer than the retry) ends here first.
  EndRunningPacket();
  if (tcp_) {
    // A new attempt; its connect notification ends the gap.
    closingOnPurpose_ = true;
    RunReportingErrors([this] { session_.Close(); });
    closingOnPurpose_ = false;
    Open(true);
    return;
  }
  if (Open(true)) EndGap();
}

void RecordedLine::EndGap() {
  retry_.stop();
  QString note = QStringLiteral("no capture from %1 to %2: %3")
                     .arg(LocalTimeText(*gapSince_), LocalTimeText(WallClockNow()), lostMessage_);
  if (!name_.isEmpty()) note = QStringLiteral("line %1: %2").arg(name_, note);
  gapSince_.reset();
  events_.note(note.toStdString());
  Say(QStringLiteral("%1 is back; recording again (%2).").arg(Where(), note));
}

void RecordedLine::Say(const QString& text) {
  events_.say(name_.isEmpty() ? text : QStringLiteral("line %1: %2").arg(name_, text));
}

}  // namespace tessaly::record
