#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <memory>

namespace tessaly::record {

// SIGINT, SIGTERM and SIGHUP as events of the event loop: a signal handler
// may do almost nothing, so it only writes the signal's number into a pipe,
// and the loop reads it from there and asks for a clean stop. SIGPIPE is
// ignored, so that a reader going away is a failed write with its reason.
// One instance per process.
class StopSignals : public QObject {
  Q_OBJECT

 public:
  explicit StopSignals(QObject* parent = nullptr);
  ~StopSignals() override;

 signals:
  void stopRequested(int signalNumber);

 private:
  void Drain();

  int readEnd_ = -1;
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace tessaly::record
