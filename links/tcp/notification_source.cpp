#include "links/tcp/notification_source.h"

#include "links/line_recorder.h"
#include "links/tcp/socket_api.h"
#include "presentation/error_report.h"

#include <QMetaObject>

#include <optional>
#include <utility>

namespace tessaly {
namespace {

// What a socket's recorder has to say: bytes are waiting (read), or every
// byte has been taken and the connection has ended (close, with the error
// that ended it, if any).
TSocketNotification ReadinessOf(TSocketHandle socket, const LineRecorder& recorder) {
  if (recorder.Kept() > 0) return {socket, TNotificationKind::nkRead, 0};
  if (const std::optional<int> end = recorder.EndError()) return {socket, TNotificationKind::nkClose, *end};
  // A wake-up with nothing to take: a read whose receive answers "nothing
  // waiting".
  return {socket, TNotificationKind::nkRead, 0};
}

}  // namespace

TNotificationSource::TNotificationSource(Sink sink) : sink_(std::move(sink)) {
  connect(&connectNotifier_, &QSocketNotifier::activated, this,
          [this](QSocketDescriptor socket) { ConnectCompleted(TSocketHandle(socket)); });
  connect(&readNotifier_, &QSocketNotifier::activated, this,
          [this] { BecameReadable(); });
}

void TNotificationSource::WatchConnect(TSocketHandle socket) {
  Stop();
  connectNotifier_.setSocket(socket);
  connectNotifier_.setEnabled(true);
}

void TNotificationSource::WatchReadable(TSocketHandle socket, const LineRecorder& recorder) {
  Stop();
  readSocket_ = socket;
  recorder_ = &recorder;
  readNotifier_.setSocket(recorder.ReadyHandle());
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
  recorder_ = nullptr;
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

void TNotificationSource::BecameReadable() {
  if (recorder_ == nullptr) return;  // the watch ended
  const TSocketNotification notification = ReadinessOf(readSocket_, *recorder_);
  if (notification.kind == TNotificationKind::nkClose) Stop();
  Deliver(notification);
}

}  // namespace tessaly
