#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <QString>
#include <QTimer>

#include <functional>

#include "links/serial/com_device.h"
#include "links/serial/com_types.h"

namespace tessaly {

// Watches one opening of a port for received bytes and for the device's
// end, through the event loop of the thread that made it (the user-interface
// thread), and runs the port's handlers there. The device's recorder thread
// reads the line; this only wakes when it keeps bytes, so one arrival costs
// one wake-up of this thread and no hand-over between threads.
//
// When the device hangs up or fails, every byte read before is handed to
// the handlers first; then linkLost is called once, with the failure's
// message, and the watch ends. It also ends, with the failure's message,
// when a failure escapes a dispatch.
class TComEventWatch : public QObject {
  Q_OBJECT

 public:
  // Runs the events' handlers; returns how many received bytes it left
  // waiting because no handler took any (0 when a handler read).
  using Dispatch = std::function<int(TComEvents events)>;
  using LinkLost = std::function<void(const QString& message)>;

  // The device must outlive the watch.
  TComEventWatch(TComDevice& device, Dispatch dispatch, LinkLost linkLost);

  // No further dispatch or report. Safe from inside a dispatch.
  void Stop();
  bool Ended() const { return ended_; }
  bool Dispatching() const { return dispatching_; }

 private:
  void Look();
  // Runs the dispatch; false when it failed (the watch has then ended).
  bool DispatchReceived();
  void End(const QString& message);

  TComDevice& device_;
  const Dispatch dispatch_;
  const LinkLost linkLost_;
  QSocketNotifier ready_;
  // Bytes a dispatch left untaken keep the ready descriptor readable: the
  // watch then looks again after a pause instead of at every pass.
  QTimer lookAgain_;
  int untaken_ = 0;
  bool ended_ = false;
  bool dispatching_ = false;
};

}  // namespace tessaly
