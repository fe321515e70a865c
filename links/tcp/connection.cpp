#include "links/tcp/connection.h"

#include "links/line_recorder.h"
#include "links/tcp/notification_source.h"
#include "links/tcp/socket_api.h"
#include "links/tcp/socket_error.h"

#include <QtEndian>
#include <QtGlobal>

#include <algorithm>
#include <cerrno>
#include <new>
#include <chrono>
#include <cstdint>
#include <optional>
#include <system_error>

namespace tessaly {
namespace {

TErrorEvent ErrorEventOf(TNotificationKind kind) {
  switch (kind) {
    case TNotificationKind::nkConnect: return TErrorEvent::eeConnect;
    case TNotificationKind::nkClose: return TErrorEvent::eeDisconnect;
    case TNotificationKind::nkRead: return TErrorEvent::eeReceive;
    case TNotificationKind::nkWrite: return TErrorEvent::eeSend;
    case TNotificationKind::nkAccept: return TErrorEvent::eeAccept;
    case TNotificationKind::nkOutOfBand: break;
  }
  return TErrorEvent::eeGeneral;
}

// The kernel's receive time (wall-clock nanoseconds) on the steady clock,
// through the two clocks' present difference. A stamp ahead of the wall
// clock (set back since) counts as now.
LineRecorder::Clock::time_point SteadyTimeOf(std::int64_t wallClockNs) {
  const auto wallNow = std::chrono::system_clock::now().time_since_epoch();
  const auto age = std::max(wallNow - std::chrono::nanoseconds(wallClockNs), decltype(wallNow)::zero());
  return LineRecorder::Clock::now() - std::chrono::duration_cast<LineRecorder::Clock::duration>(age);
}

// One read of a connected socket for its recorder: the bytes with the
// kernel's receive time, nothing while none wait, the end when the peer has
// closed its side (error 0) or the connection failed.
LineRecorder::ReadResult ReceiveForRecorder(int socket, std::uint8_t* place, int count) {
  int received = 0;
  std::int64_t receivedAtNs = 0;
  const int error = socket_api::Receive(socket, place, count, received, &receivedAtNs);
  if (error == 0 && received > 0) {
    LineRecorder::ReadResult result{received, false, 0, std::nullopt};
    if (receivedAtNs != 0) result.arrivedAt = SteadyTimeOf(receivedAtNs);
    return result;
  }
  if (error == 0) return {0, true, 0, std::nullopt};
  if (socket_api::IsWouldBlock(error)) return {};
  return {0, true, error, std::nullopt};
}

// Runs action, then cleanUp, also when action raises: an event handler that
// fails must not leave a socket open behind it.
template <class Action, class CleanUp>
void RunThenCleanUp(Action&& action, CleanUp&& cleanUp) {
  try {
    action();
  } catch (...) {
    cleanUp();
    throw;
  }
  cleanUp();
}

bool IsPortNumber(int port) { return port >= 1 && port <= 65535; }

}  // namespace

TCustomWinSocket::TCustomWinSocket(TSocketHandle socket) : handle_(socket) {}

TCustomWinSocket::~TCustomWinSocket() {
  eventHook_ = nullptr;
  try {
    if (connected_) Disconnect(handle_);
    // A pending or failed attempt's socket is closed here at the latest.
    if (handle_ != kInvalidSocket) ReleaseSocket();
  } catch (const ESocketError& error) {
    // Nobody is left to tell but the log.
    qWarning("%s", error.what());
  }
}

void TCustomWinSocket::SetASyncStyles(TAsyncStyles styles) {
  styles_ = styles;
  if (handle_ == kInvalidSocket) return;
  if (connected_) {
    WatchReadable();
  } else if (styles_ & asConnect) {
    Notifications().WatchConnect(handle_);
  } else {
    Notifications().Stop();
  }
}

void TCustomWinSocket::Open(const QString& host, const QString& address, const QString& service,
                            int port) {
  if (connected_) throw ESocketError(QString::fromLatin1(kSocketAlreadyOpen));
  // An earlier attempt that has not completed is abandoned: its socket is
  // closed before the new one is made.
  if (handle_ != kInvalidSocket) ReleaseSocket();
  TSocketHandle socket = kInvalidSocket;
  if (socket_api::CreateStreamSocket(socket) != 0) {
    throw ESocketError(QString::fromLatin1(kCantCreateSocket));
  }
  handle_ = socket;
  try {
    StartConnection(host, address, service, port);
  } catch (...) {
    Disconnect(socket);
    throw;
  }
}

void TCustomWinSocket::StartConnection(const QString& host, const QString& address,
                                       const QString& service, int port) {
  Event(TSocketEvent::seLookup);
  if (!host.isEmpty()) throw ESocketError(QString::fromLatin1(kHostLookupUnsupported));
  if (address.isEmpty()) {
    int errorCode = kNoAddressErrorCode;
    Error(TErrorEvent::eeLookup, errorCode);
    Disconnect(handle_);
    if (errorCode != 0) throw ESocketError(QString::fromLatin1(kNoAddressSpecified));
    return;
  }
  if (!service.isEmpty()) throw ESocketError(QString::fromLatin1(kServiceLookupUnsupported));
  remote_.address = socket_api::ConvertIPv4Text(address);
  remote_.port = qToBigEndian(static_cast<std::uint16_t>(port));

  Event(TSocketEvent::seConnecting);
  if (!IsPortNumber(port)) {
    // Dialling the low 16 bits of a port the user never entered would reach
    // some other service; the attempt fails instead, the way an unreachable
    // peer's does: later, through the event loop.
    Notifications().Post({handle_, TNotificationKind::nkConnect, EINVAL});
    return;
  }
  const int error = socket_api::StartConnect(handle_, remote_);
  if (error != 0 && !socket_api::IsWouldBlock(error)) throw SocketApiError(error, "connect");
  // Watched only now that the attempt runs: an unconnected socket counts as
  // writable, which would read as a completed connection.
  if (styles_ & asConnect) Notifications().WatchConnect(handle_);
}

std::optional<std::chrono::steady_clock::time_point> TCustomWinSocket::NextArrival() {
  std::scoped_lock lock(lock_);
  if (!connected_ || recorder_ == nullptr) return std::nullopt;
  return recorder_->NextArrival();
}

void TCustomWinSocket::SetPacketCutting(const std::optional<PacketCutter::Rules>& rules) {
  std::scoped_lock lock(lock_);
  cutRules_ = rules;
  if (rules && recorder_ != nullptr) recorder_->SetCutRules(*rules);
}

std::optional<LineRecorder::Packet> TCustomWinSocket::TakePacket(std::uint8_t* place) {
  std::scoped_lock lock(lock_);
  if (!connected_ || recorder_ == nullptr) return std::nullopt;
  return recorder_->TakePacket(place);
}

std::optional<std::chrono::steady_clock::time_point> TCustomWinSocket::CompleteUntil() {
  std::scoped_lock lock(lock_);
  if (!connected_ || recorder_ == nullptr || !recorder_->CutsPackets()) return std::nullopt;
  return recorder_->CompleteUntil();
}

int TCustomWinSocket::Receive(void* buffer, int count) {
  std::scoped_lock lock(lock_);
  if (count == -1 && connected_) {
    int waiting = 0;
    if (const int error = socket_api::BytesWaiting(handle_, waiting); error != 0) {
      FailReceive(error, "ioctlsocket");
      return -1;
    }
    return waiting + recorder_->Kept();
  }
  if (!connected_ || count <= 0) return 0;
  const LineRecorder::Piece piece = recorder_->Take(static_cast<std::uint8_t*>(buffer), count);
  if (piece.count > 0) {
    lastReceiveTime_ = piece.arrivedAt;
    return piece.count;
  }
  const std::optional<int> end = recorder_->EndError();
  if (!end) return -1;  // nothing waiting
  if (*end == 0) return 0;  // the peer has closed its side
  FailReceive(*end, "recv");
  return -1;
}

void TCustomWinSocket::DeliverLastBytes() {
  std::scoped_lock lock(lock_);
  if (!connected_ || recorder_ == nullptr) return;
  recorder_->FinishReading();
  // At most one event per byte: each must receive some, or it is the last.
  for (int left = recorder_->Kept(); left > 0; --left) {
    const int kept = recorder_ != nullptr ? recorder_->Kept() : 0;
    if (kept == 0) return;
    Event(TSocketEvent::seRead);
    if (recorder_ == nullptr || recorder_->Kept() >= kept) return;
  }
}

void TCustomWinSocket::FailReceive(int errorCode, const char* apiName) {
  int code = errorCode;
  RunThenCleanUp([&] { Error(TErrorEvent::eeReceive, code); }, [&] { Disconnect(handle_); });
  if (code != 0) throw SocketApiError(code, apiName);
}

void TCustomWinSocket::ProcessNotification(const TSocketNotification& notification) {
  if (notification.errorCode != 0) {
    FailNotification(notification);
    return;
  }
  const TSocketHandle socket = notification.socket;
  const bool current = handle_ != kInvalidSocket && socket == handle_;
  switch (notification.kind) {
    case TNotificationKind::nkConnect: Connect(socket); break;
    case TNotificationKind::nkClose: Disconnect(socket); break;
    case TNotificationKind::nkRead:
      if (current) Read(socket);
      break;
    case TNotificationKind::nkWrite:
      if (current) Write(socket);
      break;
    case TNotificationKind::nkAccept: Accept(socket); break;
    case TNotificationKind::nkOutOfBand: break;
  }
}

void TCustomWinSocket::FailNotification(const TSocketNotification& notification) {
  int code = notification.errorCode;
  const TSocketHandle socket = notification.socket;
  RunThenCleanUp([&] { Error(ErrorEventOf(notification.kind), code); },
                 [&] {
                   // Whatever the handler did with the code: a failed attempt's
                   // socket is never used again, and a connection that ended
                   // with an error is dead, so neither stays open.
                   if (notification.kind == TNotificationKind::nkConnect) {
                     if (socket == handle_ && !connected_) ReleaseSocket();
                   } else if (notification.kind == TNotificationKind::nkClose) {
                     Disconnect(socket);
                   }
                 });
  if (code != 0) throw AsyncSocketError(code);
}

void TCustomWinSocket::Accept(TSocketHandle) {}

void TCustomWinSocket::Connect(TSocketHandle) {}

void TCustomWinSocket::Disconnect(TSocketHandle socket) {
  std::scoped_lock lock(lock_);
  if (socket == kInvalidSocket || socket != handle_) return;
  RunThenCleanUp([&] { Event(TSocketEvent::seDisconnect); }, [&] { ReleaseSocket(); });
}

void TCustomWinSocket::Read(TSocketHandle) { Event(TSocketEvent::seRead); }

// Nothing is ever queued for sending, so a writable socket only tells the
// component.
void TCustomWinSocket::Write(TSocketHandle) { Event(TSocketEvent::seWrite); }

void TCustomWinSocket::Event(TSocketEvent event) {
  if (eventHook_) eventHook_(*this, event);
}

void TCustomWinSocket::Error(TErrorEvent errorEvent, int& errorCode) {
  if (errorHook_) errorHook_(*this, errorEvent, errorCode);
}

void TCustomWinSocket::SetConnected() {
  try {
    recorder_ = cutRules_ ? std::make_unique<LineRecorder>(handle_, ReceiveForRecorder, *cutRules_)
                          : std::make_unique<LineRecorder>(handle_, ReceiveForRecorder);
  } catch (const std::system_error& failure) {
    // No thread (or eventfd) for the reader: memory ran out, not the network.
    throw ReaderStartError(failure.code().value());
  } catch (const std::bad_alloc&) {
    throw ReaderStartError(ENOMEM);
  }
  connected_ = true;
}

void TCustomWinSocket::WatchReadable() {
  if (styles_ & (asRead | asClose)) {
    Notifications().WatchReadable(handle_, *recorder_);
  } else {
    Notifications().Stop();
  }
}

void TCustomWinSocket::ReleaseSocket() {
  if (notifications_) notifications_->Stop();
  // The recorder reads the socket until it is gone.
  recorder_.reset();
  const TSocketHandle socket = std::exchange(handle_, kInvalidSocket);
  remote_ = {};
  connected_ = false;
  // The object is reset first, so that a failed close leaves no dead handle.
  if (const int error = socket_api::CloseSocket(socket); error != 0) {
    throw SocketApiError(error, "closesocket");
  }
}

TNotificationSource& TCustomWinSocket::Notifications() {
  if (!notifications_) {
    notifications_ = std::make_unique<TNotificationSource>(
        [this](const TSocketNotification& notification) { ProcessNotification(notification); });
  }
  return *notifications_;
}

TClientWinSocket::TClientWinSocket(TSocketHandle socket) : TCustomWinSocket(socket) {}

void TClientWinSocket::SetClientType(TClientType clientType) {
  if (clientType == clientType_) return;
  if (Connected()) throw ESocketError(QString::fromLatin1(kCantChangeWhileActive));
  clientType_ = clientType;
  SetASyncStyles(clientType_ == TClientType::ctBlocking ? TAsyncStyles{0} : kNonBlockingStyles);
}

void TClientWinSocket::Connect(TSocketHandle socket) {
  // Only the current attempt can complete; anything else is stale.
  if (socket == kInvalidSocket || socket != SocketHandle()) return;
  SetConnected();
  // Bytes that arrive while the connect event's handlers run (one may show
  // a modal box) are read as they come.
  WatchReadable();
  Event(TSocketEvent::seConnect);
}

}  // namespace tessaly
