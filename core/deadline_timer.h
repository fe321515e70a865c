#pragma once

#include "core/packet_time.h"

#include <functional>
#include <memory>

class QSocketNotifier;

namespace tessaly {

// A one-shot wake-up at an exact moment of the line clock: a kernel timer
// (timerfd) watched by the thread's event loop, which handles it within tens
// of microseconds of its moment when the thread is free. The toolkit's timers
// count whole milliseconds and are handled up to a millisecond or more late,
// too coarse for a 1 ms end-of-packet interval. Where the kernel timer cannot
// be made, ArmAt does nothing and the caller's own timer stands alone.
class DeadlineTimer {
 public:
  // expired runs on the thread that created the timer.
  explicit DeadlineTimer(std::function<void()> expired);
  ~DeadlineTimer();
  DeadlineTimer(const DeadlineTimer&) = delete;
  DeadlineTimer& operator=(const DeadlineTimer&) = delete;

  void ArmAt(LineTime moment);
  void Disarm();

 private:
  void Expired();

  std::function<void()> expired_;
  int handle_ = -1;
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace tessaly
