#pragma once

#include "links/line_recorder.h"
#include "links/tcp/socket_types.h"

#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

namespace tessaly {

class TNotificationSource;

// One TCP connection: its socket, whether it is connected, where it dials,
// and the processing of its readiness notifications. It reports to its
// component through two hooks: socket events (lookup, connecting, connect,
// disconnect, read, ...) and errors, whose code the hook may clear.
class TCustomWinSocket {
 public:
  using EventHook = std::function<void(TCustomWinSocket& socket, TSocketEvent event)>;
  using ErrorHook =
      std::function<void(TCustomWinSocket& socket, TErrorEvent errorEvent, int& errorCode)>;

  explicit TCustomWinSocket(TSocketHandle socket = kInvalidSocket);
  virtual ~TCustomWinSocket();
  TCustomWinSocket(const TCustomWinSocket&) = delete;
  TCustomWinSocket& operator=(const TCustomWinSocket&) = delete;

  TSocketHandle SocketHandle() const { return handle_; }
  bool Connected() const { return connected_; }
  const TRemoteAddress& RemoteAddress() const { return remote_; }

  // The notifications asked for; none means no notifications at all. A
  // change takes effect at once on an existing socket.
  TAsyncStyles ASyncStyles() const { return styles_; }
  void SetASyncStyles(TAsyncStyles styles);

  void SetEventHook(EventHook hook) { eventHook_ = std::move(hook); }
  void SetErrorHook(ErrorHook hook) { errorHook_ = std::move(hook); }

  // Starts a connection attempt to address:port and returns at once; the
  // outcome arrives later as a connect notification. An attempt that is
  // still pending is abandoned and its socket closed. Host and service name
  // lookups are not supported: a host or service fails the opening.
  void Open(const QString& host, const QString& address, const QString& service, int port);

  // Reads at most count bytes without waiting. Returns the count read (0
  // when the peer has closed its side, or when not connected), or -1 when
  // nothing is waiting or the receive failed; a failure first goes to the
  // error hook and disconnects. With count -1 on a connected socket: the
  // number of bytes waiting, nothing read.
  //
  // While connected, a recorder thread takes bytes off the socket the
  // moment they come, so that bursts separated by a silence stay apart
  // however late they are received here; one receive returns bytes of one
  // burst only.
  int Receive(void* buffer, int count);
  // When the bytes of the last receive that delivered any came (the
  // kernel's receive time where it keeps one), on the steady clock.
  std::chrono::steady_clock::time_point LastReceiveTime() const { return lastReceiveTime_; }
  // When the oldest byte taken off the socket and not yet received here
  // came; nothing when none waits.
  std::optional<std::chrono::steady_clock::time_point> NextArrival();

  // Cut the connection's bytes into packets on its reading thread by these
  // rules, from the next connection on (none: keep them as received, for
  // Receive); a connection that is up takes new rules at once, and then
  // delivers packets only (TakePacket), not bytes.
  void SetPacketCutting(const std::optional<PacketCutter::Rules>& rules);
  // The oldest packet cut and not taken yet; nothing when none waits.
  std::optional<LineRecorder::Packet> TakePacket(std::uint8_t* place);
  // Every packet not taken yet, and every one to come, begins at or after
  // this moment; nothing while not connected or not cutting.
  std::optional<std::chrono::steady_clock::time_point> CompleteUntil();

  // Before a close asked for by the owner: stops taking bytes off the
  // socket, takes what the kernel still holds, and raises read events until
  // every byte taken has been received (or a handler stops receiving), so
  // that nothing that came before the close is lost.
  void DeliverLastBytes();

  // Processes one notification, as the event loop delivers them. Public so
  // that a notification can also be handed in directly.
  void ProcessNotification(const TSocketNotification& notification);

  virtual void Accept(TSocketHandle socket);
  virtual void Connect(TSocketHandle socket);
  // Closes the connection if socket is the current one: the disconnect event
  // first, then the socket is closed and the object reset.
  virtual void Disconnect(TSocketHandle socket);
  virtual void Read(TSocketHandle socket);
  virtual void Write(TSocketHandle socket);

 protected:
  void Event(TSocketEvent event);
  void Error(TErrorEvent errorEvent, int& errorCode);
  // Marks the socket connected and starts taking its bytes off it.
  void SetConnected();
  // Turns from waiting for the connection to waiting for bytes and the end.
  void WatchReadable();

 private:
  void StartConnection(const QString& host, const QString& address, const QString& service,
                       int port);
  void FailNotification(const TSocketNotification& notification);
  void FailReceive(int errorCode, const char* apiName);
  // Closes the current socket and resets the object, without any event.
  void ReleaseSocket();
  TNotificationSource& Notifications();

  TSocketHandle handle_ = kInvalidSocket;
  bool connected_ = false;
  std::chrono::steady_clock::time_point lastReceiveTime_{};
  // Reads the connected socket; gone before the socket is closed.
  std::unique_ptr<LineRecorder> recorder_;
  std::optional<PacketCutter::Rules> cutRules_;
  TRemoteAddress remote_;
  TAsyncStyles styles_ = kNonBlockingStyles;
  EventHook eventHook_;
  ErrorHook errorHook_;
  // Serialises a receive against a disconnect; re-entrant because event
  // handlers run inside both.
  std::recursive_mutex lock_;
  // Created on first need, on the thread that opens the connection, which
  // is then the thread that processes its notifications.
  std::unique_ptr<TNotificationSource> notifications_;
};

// The client side: connects out and is connected once the attempt completes.
class TClientWinSocket : public TCustomWinSocket {
 public:
  explicit TClientWinSocket(TSocketHandle socket = kInvalidSocket);

  TClientType ClientType() const { return clientType_; }
  // Blocking sockets ask for no notifications. Fails while connected.
  void SetClientType(TClientType clientType);

  void Connect(TSocketHandle socket) override;

 private:
  TClientType clientType_ = TClientType::ctNonBlocking;
};

}  // namespace tessaly
