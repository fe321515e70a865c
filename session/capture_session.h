#pragma once

#include "core/packet_cutter.h"
#include "core/packet_framer.h"
#include "links/link_byte_sources.h"
#include "links/serial/com_port.h"
#include "links/tcp/client_socket.h"
#include "session/line_description.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>
#include <optional>

namespace tessaly {

class CaptureReporter;
class Data;

// The handlers that take the bytes of each link, bound at every Start. A
// window binds its own, named after their events, which call back into the
// session; without them the session's own are bound.
struct LinkHandlers {
  std::function<void(TCustomComPort& sender, int count)> rxChar;
  std::function<void(TCustomSocket& sender, TCustomWinSocket& socket)> read;
  std::function<void(TCustomSocket& sender, TCustomWinSocket& socket, TErrorEvent event, int& errorCode)> error;
};

// One capture, with no window: the link holder's two links, the framing of
// the bytes that come through them with its end-of-packet timers, and the
// sink that receives each finished packet. A window, a recorder or a test
// owns one and drives it from its thread's event loop; what goes wrong
// without being asked reaches the owner through its reporter.
//
// Nothing read from a link is lost at its edges: a link that the owner
// closes hands every byte it has read to the framing first, and a link that
// goes away by itself does the same before it is reported lost. The packet
// that was running then ends as at a silence, when its end comes.
//
// A link that goes away by itself is reported as dropped (and a serial
// device's loss also as lost, unless the session retries). With reconnect
// on, the session opens the link that dropped again every second until it
// is back; the owner's Close ends the retries.
class CaptureSession : public QObject {
  Q_OBJECT

 public:
  CaptureSession(Data& links, PacketSink& sink, CaptureReporter& reporter, QObject* parent = nullptr);
  // Unbinds the links' handlers: the links may outlive the session.
  ~CaptureSession() override;

  Data& Links() { return links_; }
  PacketFramer& Framer() { return framer_; }
  const PacketFramer& Framer() const { return framer_; }
  QTimer& EndPacketTimer() { return endPacketTimer_; }

  // Handlers to bind instead of the session's own (see LinkHandlers); an
  // empty one leaves the session's own in place.
  void SetHandlers(LinkHandlers handlers) { handlers_ = std::move(handlers); }
  // Binds the byte handlers and the loss reports to both links.
  void BindHandlers();

  // What the handlers do: the serial port or the socket has cut packets
  // (each line cuts its own, on the thread that reads it), which go to the
  // sink; the end-of-packet timer expired (a framer fed by hand).
  void SerialBytesAvailable();
  void SocketBytesAvailable();
  void EndOfPacket();

  // The Modbus rule: a packet ends at every silence longer than the
  // interval, rather than by the read grouping. The serial port's choice
  // (kept with its values), for the gateway's line too; an open line takes
  // a new choice at once.
  void SetCutAtSilences(bool on);
  bool CutAtSilences() const;
  // The rules each link cuts by, from the interval, the serial port's read
  // timeouts and the choice above.
  PacketCutter::Rules SerialCutRules() const;
  PacketCutter::Rules TcpCutRules() const;

  // Opens the serial port with its settings (throws its EComPort), or starts
  // a connection to the gateway (completed later through the event loop).
  // Both empty the packet buffer; bind the handlers before.
  void OpenSerial();
  void StartTcp();
  // Closes both links. Every byte read before reaches the framing first.
  void Close();
  bool LinkOpen() const;

  // Open the link again, every second, when it drops by itself.
  void SetReconnect(bool on) { reconnect_ = on; }
  bool Reconnect() const { return reconnect_; }
  // A link dropped and is being opened again.
  bool Retrying() const { return retry_.isActive(); }

  // The serial line speed behind the gateway, when the user gave it.
  void SetGatewayLineSpeed(std::optional<int> bitsPerSecond) { gatewayBitsPerSecond_ = bitsPerSecond; }
  std::optional<int> GatewayLineSpeed() const { return gatewayBitsPerSecond_; }
  // The line of the capture: as the link opened last was set when it
  // opened, whatever its settings became since (before any opening, the
  // serial port as it is set now), with the interval in force.
  LineDescription Line() const;

  // Every packet not handed to the sink yet, and every one still to come,
  // has its first byte at or after this moment of the line clock, as the
  // threads that read the links know it; the far future while no link is
  // open. A merge of several lines waits for this to pass before it orders
  // a packet of another line.
  LineTime CompleteUntil() const;

 private:
  void SerialLinkLost(const QString& message);
  void ApplyCutRules();
  // Hands a packet a link cut to the sink.
  void Deliver(const std::uint8_t* bytes, const LineRecorder::Packet& packet);
  void TcpStateChanged();
  void Dropped(const QString& cause);
  void Retry();

  Data& links_;
  PacketSink& sink_;
  CaptureReporter& reporter_;
  // The links as the framer reads them; they live as long as the framer,
  // whose timer asks the link last read for bytes not yet handled.
  SerialByteSource serialSource_;
  SocketByteSource socketSource_;
  QTimer endPacketTimer_;
  PacketFramer framer_;
  LinkHandlers handlers_;
  std::optional<int> gatewayBitsPerSecond_;
  std::optional<LineDescription> opened_;
  bool reconnect_ = false;
  QTimer retry_;
  // The connection is up, so that its end can be told from a failed start.
  bool tcpUp_ = false;
  // The owner is closing the links: their ends are no drops.
  bool closing_ = false;
  // The error number the connection last reported, for the drop's cause.
  int tcpError_ = 0;
};

}  // namespace tessaly
