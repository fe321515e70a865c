#pragma once

#include "capture_file/capture_budget.h"

#include <QObject>
#include <QTimer>

#include <filesystem>
#include <functional>

namespace tessaly {

class RecordingSink;

// Keeps the captures folder within its budget while a capture is recorded:
// when a file begins and every kInterval after, the oldest files that are
// not in use go. When even that is not enough, stop is called with what
// to tell the user.
class CaptureBudgetWatch : public QObject {
  Q_OBJECT

 public:
  static constexpr int kInterval = 10'000;  // milliseconds

  CaptureBudgetWatch(RecordingSink& recording, std::filesystem::path storeDirectory,
                     std::function<void(const QString& message, const QString& detail)> stop,
                     QObject* parent = nullptr);

  // Weighs the folder now (the budget read afresh from the store).
  void Check();

 private:
  RecordingSink& recording_;
  std::filesystem::path storeDirectory_;
  std::function<void(const QString&, const QString&)> stop_;
  QTimer timer_;
};

}  // namespace tessaly
