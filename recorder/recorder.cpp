#include "recorder/recorder.h"

#include "capture/local_time_text.h"
#include "capture/modbus/frame_check.h"
#include "links/serial/com_error.h"
#include "links/serial/com_text.h"
#include "links/serial/port_names.h"
#include "links/tcp/socket_error.h"
#include "presentation/failure_report.h"
#include "presentation/product.h"
#include "settings/program_key.h"
#include "settings/registry.h"
#include "settings/store_directory.h"

#include <unistd.h>

#include <QMetaObject>

#include <array>
#include <cerrno>
#include <cstring>

namespace tessaly::record {
namespace {

constexpr int kTickMs = 100;
constexpr int kTicksPerSync = 10;  // the file reaches the disk every second
constexpr int kTcpConnectWaitMs = 2000;  // as long as the window waits for a gateway

std::string ApplicationName() {
  std::string version = kProductVersionText;
  constexpr std::string_view kPrefix = "Version ";
  if (version.starts_with(kPrefix)) version.erase(0, kPrefix.size());
  return "tessaly-record " + version;
}

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

Recorder::Recorder(RecordOptions options, QObject* parent)
    : QObject(parent),
      options_(std::move(options)),
      // Without --settings the store is none at all: nothing is read, and
      // nothing the window program keeps is touched.
      links_(options_.fromSettings ? DefaultStoreDirectory() : std::filesystem::path()),
      session_(links_, *this, *this, this) {
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

  tick_.setInterval(kTickMs);
  connect(&tick_, &QTimer::timeout, this, [this] { Tick(); });
  reconnect_.setInterval(1000);
  connect(&reconnect_, &QTimer::timeout, this, [this] { TryReconnect(); });
}

Recorder::~Recorder() = default;

bool Recorder::Start() {
  startedAt_ = std::chrono::steady_clock::now();
  showStatus_ = !options_.quiet && ::isatty(STDERR_FILENO) == 1;
  ApplyLineSettings();
  if (!OpenOutput()) return false;
  session_.BindHandlers();
  tick_.start();
  if (!OpenLink(false)) {
    if (!options_.reconnect) {
      Stop(kExitLinkFailure);
      return false;
    }
    StartGap(lostMessage_);
  }
  return true;
}

void Recorder::ApplyLineSettings() {
  TComPort& port = links_.ComPort();
  TClientSocket& socket = links_.Socket();
  tcp_ = options_.link == LinkKind::kTcp;
  if (options_.fromSettings) {
    links_.DataModuleCreate();
    if (options_.link == LinkKind::kNone) {
      TRegistry store(links_.StoreDirectory());
      store.SetRootKey(RegistryRoot::LocalMachine);
      try {
        if (store.OpenKey(kProgramKeyPath, false)) tcp_ = store.ReadString("Transport") == "TCP";
      } catch (const std::exception&) {
        // A damaged choice: the serial port, as the window's menu starts.
      }
    }
  }
  if (options_.link == LinkKind::kSerial) port.SetPort(QString::fromStdString(options_.serialPath));
  if (options_.link == LinkKind::kTcp) {
    socket.SetAddress(QString::fromStdString(options_.tcpAddress));
    socket.SetPort(options_.tcpPort);
  }
  if (options_.baud) {
    if (tcp_) {
      session_.SetGatewayLineSpeed(*options_.baud);
    } else {
      TBaudRate rate = brCustom;
      for (int value = br110; value < kBaudRateCount; ++value) {
        if (BaudRateBitsPerSecond(static_cast<TBaudRate>(value)) == *options_.baud) rate = static_cast<TBaudRate>(value);
      }
      if (rate == brCustom) port.SetCustomBaudRate(*options_.baud);
      port.SetBaudRate(rate);
    }
  }
  if (options_.readIntervalMs) port.Timeouts().SetReadInterval(*options_.readIntervalMs);
  if (options_.dataBits) port.SetDataBits(static_cast<TDataBits>(*options_.dataBits - 5));
  if (options_.parity) port.Parity().SetBits(ParityOf(*options_.parity));
  if (options_.stopHalfBits) {
    port.SetStopBits(*options_.stopHalfBits == 2 ? sbOneStopBit : *options_.stopHalfBits == 3 ? sbOne5StopBits
                                                                                            : sbTwoStopBits);
  }
  if (options_.intervalMs) {
    session_.Framer().SetInterval(*options_.intervalMs);
  } else {
    // As the window computes it: from the serial port's speed, or from the
    // line behind the gateway when it was given.
    const std::optional<int> gatewaySpeed = session_.GatewayLineSpeed();
    session_.Framer().SetIntervalFromBaudRate(tcp_ && gatewaySpeed ? *gatewaySpeed : port.LineBitsPerSecond());
  }
}

LineDescription Recorder::PlannedLine() {
  const int interval = session_.Framer().Interval();
  return tcp_ ? TcpLineOf(links_.Socket(), session_.GatewayLineSpeed(), interval)
              : SerialLineOf(links_.ComPort(), interval);
}

QString Recorder::Where() { return PlannedLine().where; }

bool Recorder::OpenOutput() {
  if (options_.outputPath.empty()) {
    lines_ = std::make_unique<PacketLines>(options_.lineFormat, options_.decode);
    return true;
  }
  const LineDescription line = PlannedLine();
  CaptureInterface link;
  link.name = line.where.toStdString();
  link.description = line.Text().toStdString();
  if (line.bitsPerSecond) link.bitsPerSecond = static_cast<std::uint64_t>(*line.bitsPerSecond);
  Rotation rotation;
  rotation.maxBytes = options_.rotateKilobytes * 1000;
  rotation.maxAge = std::chrono::seconds(options_.rotateSeconds);
  rotation.keepFiles = options_.ringFiles;
  try {
    capture_ = std::make_unique<RotatingCapture>(options_.outputPath, options_.fileFormat, rotation, link,
                                                 ApplicationName());
  } catch (const CaptureFileError& failure) {
    Say(QString::fromUtf8(failure.what()));
    exitCode_ = kExitFileFailure;
    return false;
  }
  return true;
}

bool Recorder::OpenLink(bool quietFailure) {
  if (tcp_) {
    try {
      session_.StartTcp();
    } catch (const ESocketError& failure) {
      lostMessage_ = failure.Message();
      if (!quietFailure) {
        Say(QStringLiteral("Cannot connect to %1: %2").arg(Where(), failure.Message()));
      }
      return false;
    }
    // The attempt completes through the event loop; one that gets no answer
    // in the window's time has failed.
    QTimer::singleShot(kTcpConnectWaitMs, this, [this] {
      if (!links_.Socket().Active() && !stopping_ && !gapSince_) TcpFailed(ETIMEDOUT);
    });
    return true;
  }
  try {
    session_.OpenSerial();
    connected_ = true;
    return true;
  } catch (const EComPort& failure) {
    lostMessage_ = failure.Message();
    if (!quietFailure) {
      const QString port = links_.ComPort().Port();
      Say(QStringLiteral("Cannot open %1: %2\n%3")
              .arg(DisplayedPortName(port), ErrorReportText(failure.Message()),
                   ComFailureDetail(failure.PlatformCode(), port,
                                    QString::fromStdString(DevicePathForPort(port)))));
    }
    return false;
  }
}

void Recorder::TcpFailed(int errorCode) {
  if (stopping_ || closingOnPurpose_) return;
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
  if (!options_.reconnect) {
    Stop(kExitLinkFailure);
    return;
  }
  RunReportingErrors([this] { links_.Socket().Close(); });
  StartGap(detail);
}

void Recorder::TcpClosedByGateway() {
  if (stopping_ || closingOnPurpose_ || gapSince_) return;
  LinkGone(QStringLiteral("the gateway closed the connection"));
}

void Recorder::LinkLost(const QString& message, const QString&) {
  if (stopping_) return;
  LinkGone(message);
}

void Recorder::LinkGone(const QString& message) {
  const QString what = tcp_ ? QStringLiteral("The connection to %1 ended: %2.").arg(Where(), message)
                            : QStringLiteral("Port %1 was closed: %2. The device went away or failed (an "
                                             "adapter unplugged, a pseudo-terminal closed by its program).")
                                  .arg(DisplayedPortName(links_.ComPort().Port()), message);
  if (!options_.reconnect) {
    Say(what);
    Stop(kExitLinkFailure);
    return;
  }
  Say(what + QStringLiteral(" Trying again every second."));
  StartGap(message);
}

void Recorder::StartGap(const QString& message) {
  gapSince_ = WallClockNow();
  lostMessage_ = message;
  reconnect_.start();
}

void Recorder::TryReconnect() {
  if (stopping_) return;
  // Opening empties the packet buffer: a packet still waiting for its
  // silence (an interval longer than the retry) ends here first.
  EndRunningPacket();
  if (tcp_) {
    // A new attempt; its connect notification ends the gap.
    closingOnPurpose_ = true;
    RunReportingErrors([this] { session_.Close(); });
    closingOnPurpose_ = false;
    OpenLink(true);
    return;
  }
  if (OpenLink(true)) EndGap();
}

void Recorder::EndGap() {
  reconnect_.stop();
  const QString note = QStringLiteral("no capture from %1 to %2: %3")
                           .arg(LocalTimeText(*gapSince_), LocalTimeText(WallClockNow()), lostMessage_);
  gapSince_.reset();
  if (capture_) capture_->AddComment(note.toStdString());
  Say(QStringLiteral("%1 is back; recording again (%2).").arg(Where(), note));
}

void Recorder::AppendPacket(const std::uint8_t* bytes, int count, PacketTime endedAt) {
  AppendPacket(bytes, count, PacketTiming{endedAt, endedAt, endedAt});
}

void Recorder::AppendPacket(const std::uint8_t* bytes, int count, const PacketTiming& timing) {
  if (failed_ || (options_.stopPackets > 0 && counts_.rows >= options_.stopPackets)) return;
  ++counts_.rows;
  counts_.bytes += static_cast<std::uint64_t>(count);
  // Judged only for the status line: telling merged frames from damaged ones
  // looks for frames inside every packet, the recorder's dearest step in a
  // flood of back-to-back frames.
  if (showStatus_) {
    const modbus::FrameKind kind = modbus::CheckFrame(bytes, count);
    if (kind != modbus::FrameKind::Good && kind != modbus::FrameKind::Merged) ++counts_.badFrames;
  }
  if (capture_) {
    try {
      capture_->AddPacket(bytes, count, timing);
    } catch (const CaptureFileError& failure) {
      FileFailed(failure.what());
    }
  } else {
    lines_->Add(bytes, count, timing.ended);
  }
  if (options_.stopPackets > 0 && counts_.rows >= options_.stopPackets) {
    // Not from inside the framer, which is handing this packet over.
    QMetaObject::invokeMethod(this, [this] { Stop(kExitStopped); }, Qt::QueuedConnection);
  }
}

void Recorder::Tick() {
  const auto now = std::chrono::steady_clock::now();
  if (capture_ && !failed_) {
    try {
      capture_->Tick(now);
      if (++ticks_ % kTicksPerSync == 0) capture_->Sync();
    } catch (const CaptureFileError& failure) {
      FileFailed(failure.what());
      return;
    }
  }
  if (lines_) WriteOut(lines_->Take());
  if (showStatus_) {
    const std::string text = status_.Redraw(counts_, now);
    if (!text.empty()) (void)!::write(STDERR_FILENO, text.data(), text.size());
  }
  if (options_.stopSeconds > 0 && now - startedAt_ >= std::chrono::seconds(options_.stopSeconds)) {
    Stop(kExitStopped);
  }
}

void Recorder::Stop(int exitCode) {
  if (stopping_) return;
  stopping_ = true;
  if (exitCode_ == kExitStopped) exitCode_ = exitCode;
  reconnect_.stop();
  tick_.stop();
  // Every byte read reaches the framing as the link closes; the packet that
  // runs then ends here rather than at its silence.
  RunReportingErrors([this] { session_.Close(); });
  EndRunningPacket();
  if (capture_) {
    try {
      capture_->Close();
    } catch (const CaptureFileError& failure) {
      if (!failed_) Say(QString::fromUtf8(failure.what()));
      failed_ = true;
    }
  }
  if (lines_) WriteOut(lines_->Take());
  if (failed_ && exitCode_ == kExitStopped) exitCode_ = kExitFileFailure;
  if (showStatus_) {
    const std::string text = status_.Finish(counts_, std::chrono::steady_clock::now());
    (void)!::write(STDERR_FILENO, text.data(), text.size());
  }
  emit finished(exitCode_);
}

void Recorder::EndRunningPacket() {
  if (session_.EndPacketTimer().isActive() || session_.Framer().Count() > 0) {
    RunReportingErrors([this] { session_.EndOfPacket(); });
  }
}

void Recorder::WriteOut(const std::string& text) {
  if (text.empty() || failed_) return;
  if (showStatus_ && ::isatty(STDOUT_FILENO) == 1) {
    const std::string clear = status_.Clear();
    (void)!::write(STDERR_FILENO, clear.data(), clear.size());
  }
  for (std::size_t done = 0; done < text.size();) {
    const ssize_t count = ::write(STDOUT_FILENO, text.data() + done, text.size() - done);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) {
      const std::string reason = std::strerror(count < 0 ? errno : ENOSPC);
      FileFailed(("Cannot write the packets to standard output: " + reason).c_str());
      return;
    }
    done += static_cast<std::size_t>(count);
  }
}

void Recorder::FileFailed(const char* message) {
  if (failed_) return;
  failed_ = true;
  Say(QString::fromUtf8(message));
  QMetaObject::invokeMethod(this, [this] { Stop(kExitFileFailure); }, Qt::QueuedConnection);
}

void Recorder::Say(const QString& text) {
  std::string line = status_.Clear();
  if (!showStatus_) line.clear();
  line += "tessaly-record: " + text.toStdString() + "\n";
  (void)!::write(STDERR_FILENO, line.data(), line.size());
}

}  // namespace tessaly::record
