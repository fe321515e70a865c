#include "links/tcp/notification_source.h"

#include "presentation/error_report.h"
#include "links/tcp/socket_api.h"

#include <QMetaObject>

#include <utility>

namespace tessaly {
namespace {

// What a readable socket has to say: bytes are waiting (read), or the
// connection has ended (close, with the error that ended it, if any).
TSocketNotification ReadinessOf(TSocketHandle socket) {
  int waiting = 0;
  if (const int error = socket_api::BytesWaiting(socket, waiting); error != 0) {
    return {socket, TNotificationKind::nkClose, error};
  }
  if (waiting > 0) return {socket, TNotificationKind::nkRead, 0};
  int peeked = 0;
  const int error = socket_api::PeekOneByte(socket, peeked);
  if (error == 0 && peeked == 0) return {socket, TNotificationKind::nkClose, 0};
  // A byte that arrived between the two calls, or a wake-up with nothing to
  // read: a read either way, whose receive then takes the byte or answers
  // "nothing waiting".
  if (error == 0 || socket_api::IsWouldBlock(error)) return {socket, TNotificationKind::nkRead, 0};
  return {socket, TNotificationKind::nkClose, error};
}

}  // namespace

TNotificationSource::TNotificationSource(Sink sink) : sink_(std::move(sink)) {
  connect(&connectNotifier_, &QSocketNotifier::activated, this,
          [this](QSocketDescriptor socket) { ConnectCompleted(TSocketHandle(socket)); });
  connect(&readNotifier_, &QSocketNotifier::activated, this,
          [this](QSocketDescriptor socket) { BecameReadable(TSocketHandle(socket)); });
}

void TNotificationSource::WatchConnect(TSocketHandle socket) {
  Stop();
  connectNotifier_.setSocket(socket);
  connectNotifier_.setEnabled(true);
}

void TNotificationSource::WatchReadable(TSocketHandle socket) {
  Stop();
  readNotifier_.setSocket(socket);
  readNotifier_.setEnabled(true);
}

void TNotificationSource::Post(const TSocketNotification& notification) {
  QMetaObject::invokeMethod(
      this,
      [this, notification, generation = generation_] {
        if (generation == generation_) Deliver(notification);
      },
      Qt::QueuedConnection);
}

void TNotificationSource::Stop() {
  connectNotifier_.setEnabled(false);
  readNotifier_.setEnabled(false);
  ++generation_;
}

void TNotificationSource::Deliver(const TSocketNotification& notification) {
  RunReportingErrors([&] { sink_(notification); });
}

void TNotificationSource::ConnectCompleted(TSocketHandle socket) {
  Stop();
  int pendingError = 0;
  const int callError = socket_api::PendingError(socket, pendingError);
  Deliver({socket, TNotificationKind::nkConnect, callError != 0 ? callError : pendingError});
}

void TNotificationSource::BecameReadable(TSocketHandle socket) {
  const TSocketNotification notification = ReadinessOf(socket);
  if (notification.kind == TNotificationKind::nkClose) Stop();
  Deliver(notification);
}

}  // namespace tessaly
