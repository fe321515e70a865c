#pragma once

// How long the event loop of the benches that drive the window was held
// up: the worst lateness of a precise timer since the last Reset().

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <algorithm>

namespace tessaly::bench {

class StallWatch {
 public:
  explicit StallWatch(int periodMs) : periodMs_(periodMs) {
    timer_.setInterval(periodMs_);
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      const qint64 now = clock_.nsecsElapsed();
      worst_ = std::max(worst_, (now - last_) / 1e6 - periodMs_);
      last_ = now;
    });
    clock_.start();
    timer_.start();
  }
  void Reset() {
    last_ = clock_.nsecsElapsed();
    worst_ = 0;
  }
  double WorstMs() const { return worst_; }

 private:
  const int periodMs_;
  QTimer timer_;
  QElapsedTimer clock_;
  qint64 last_ = 0;
  double worst_ = 0;
};

}  // namespace tessaly::bench
