#pragma once

#include "links/tcp/socket_types.h"

#include <QObject>
#include <QSocketNotifier>

#include <functional>

namespace tessaly {

class LineRecorder;

// Turns the readiness of one socket into the connection object's
// notifications, delivered on the thread that created the source while that
// thread processes its event queue:
//   connect: the connecting socket became writable; the error is its pending
//            error (0 for success). The write watch then ends: it is level-
//            triggered and would fire for as long as the socket is writable.
//   read:    the socket's recorder keeps bytes; it comes again after each
//            pass of the event loop while bytes remain.
//   close:   every byte has been taken and the recorder has seen the end:
//            the peer closed its side (error 0) or the connection failed
//            (its error, ECONNRESET for a reset). The watch ends with it.
// Only one watch is on at a time, so notifications keep their arrival order.
class TNotificationSource : public QObject {
  Q_OBJECT

 public:
  using Sink = std::function<void(const TSocketNotification&)>;

  // The sink may raise: its failure goes to the application's error report
  // and the notification's processing ends there.
  explicit TNotificationSource(Sink sink);

  void WatchConnect(TSocketHandle socket);
  // The recorder must stay alive until the watch stops.
  void WatchReadable(TSocketHandle socket, const LineRecorder& recorder);

  // Queues a notification behind the events already waiting. It is dropped
  // if a watch starts or stops before it arrives, so it can never reach a
  // socket other than the one it was meant for.
  void Post(const TSocketNotification& notification);

  void Stop();

 private:
  void Deliver(const TSocketNotification& notification);
  void ConnectCompleted(TSocketHandle socket);
  void BecameReadable();

  Sink sink_;
  QSocketNotifier connectNotifier_{QSocketNotifier::Write};
  QSocketNotifier readNotifier_{QSocketNotifier::Read};
  TSocketHandle readSocket_ = kInvalidSocket;
  const LineRecorder* recorder_ = nullptr;
  // Counts watches, so that a posted notification knows whether it is stale.
  unsigned generation_ = 0;
};

}  // namespace tessaly
