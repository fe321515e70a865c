#include "app/capture_budget_watch.h"

#include "capture_file/capture_folder.h"
#include "session/recording_sink.h"

#include <QDir>
#include <QFileInfo>

namespace tessaly {

CaptureBudgetWatch::CaptureBudgetWatch(RecordingSink& recording, std::filesystem::path storeDirectory,
                                       std::function<void(const QString&, const QString&)> stop, QObject* parent)
    : QObject(parent), recording_(recording), storeDirectory_(std::move(storeDirectory)), stop_(std::move(stop)) {
  timer_.setInterval(kInterval);
  connect(&timer_, &QTimer::timeout, this, &CaptureBudgetWatch::Check);
  // Queued: the weighing must not run inside the packet that began the file.
  connect(
      &recording_, &RecordingSink::fileStarted, this,
      [this] {
        Check();
        timer_.start();
      },
      Qt::QueuedConnection);
}

void CaptureBudgetWatch::Check() {
  const QString current = recording_.CurrentFile();
  if (current.isEmpty()) {
    timer_.stop();
    return;
  }
  const CaptureBudget budget = ReadCaptureBudget(storeDirectory_);
  const QString folder = QFileInfo(current).absolutePath();
  if (!KeepCaptureBudget(folder, current, budget).cannotKeep) return;
  timer_.stop();
  stop_(QStringLiteral("Cannot keep recording to %1: the captures folder would take more than %2 MB, or "
                       "leave less than %3 % of the disk free")
            .arg(QDir::toNativeSeparators(current))
            .arg(budget.maxMegabytes)
            .arg(budget.minFreePercent),
        QStringLiteral("Capture has stopped; the file keeps what was recorded. Free some disk space, or change "
                       "the limits in Options > Preferences."));
}

}  // namespace tessaly
