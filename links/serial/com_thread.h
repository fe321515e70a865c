#pragma once

#include <QString>

#include <atomic>
#include <functional>
#include <thread>

#include "links/serial/com_device.h"
#include "links/serial/com_types.h"
#include "links/serial/hand_over_queue.h"

namespace tessaly {

// The event thread of one opening of a port. It only waits: for its stop
// signal or for a line event of the device; each event is handed over to the
// user-interface thread through the hand-over queue, and the thread waits
// until the dispatch has run before it waits again. It never reads data.
//
// It ends when stopped, when the device hangs up or fails, or when a failure
// escapes a dispatch; in the last two cases it calls linkLost with the
// failure's message (on the event thread) before it ends.
class TComThread {
 public:
  // Runs the events' handlers; returns how many received bytes it left
  // queued because no handler took any (0 when a handler read).
  using Dispatch = std::function<int(TComEvents events)>;
  using LinkLost = std::function<void(const QString& message)>;

  // Starts the thread. The device and the queue must outlive it.
  TComThread(TComDevice& device, TComEvents events, THandOverQueue& handOver, Dispatch dispatch,
             LinkLost linkLost);
  // Stops the thread and waits for its end, releasing it from any hand-over
  // it waits for. Call Stop and serve the queue first for an orderly end.
  ~TComThread();
  TComThread(const TComThread&) = delete;
  TComThread& operator=(const TComThread&) = delete;

  void Stop() noexcept { stop_.Set(); }
  bool Finished() const { return finished_.load(); }

 private:
  void Run();
  void WaitAndDispatch();
  void DeliverLastBytes();
  int HandOver(TComEvents events);

  TComDevice& device_;
  const TComEvents events_;
  THandOverQueue& handOver_;
  const Dispatch dispatch_;
  const LinkLost linkLost_;
  TStopSignal stop_;
  std::atomic<bool> finished_{false};
  std::thread thread_;
};

}  // namespace tessaly
