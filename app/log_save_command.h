#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <memory>

class QProgressDialog;
class QWidget;

namespace tessaly {

class LogWriteJob;
class PacketLogModel;

// File > Save log as: asks for a file name, then writes the log as it is at
// that moment on a thread of its own while capture goes on. A save that takes
// more than a moment shows its progress and can be cancelled; a failure is
// reported with the path and the reason.
class LogSaveCommand : public QObject {
  Q_OBJECT

 public:
  // The progress shows once a save has taken this long.
  static constexpr int kProgressDelay = 500;  // milliseconds

  LogSaveCommand(PacketLogModel& log, QWidget& window);
  ~LogSaveCommand() override;

  // Asks for the file, then saves.
  void Run();

  // Saves to the file without asking, in the format its extension names.
  void SaveTo(const QString& fileName);

  bool Saving() const { return job_ != nullptr; }
  void Cancel();
  // Shows the running save's progress at once rather than after
  // kProgressDelay.
  void ShowProgressNow();

 signals:
  // The file is complete, holding the log's first rows packets.
  void saved(const QString& fileName, int rows);
  // The save ended: written, cancelled or failed (after its report).
  void finished();

 private:
  void ShowProgress();
  void Finish();

  PacketLogModel& log_;
  QWidget& window_;
  QString lastFolder_;
  std::unique_ptr<LogWriteJob> job_;
  QPointer<QProgressDialog> progress_;
  QTimer progressTimer_;
};

}  // namespace tessaly
