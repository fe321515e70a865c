#pragma once

#include "log/log_export.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <limits>
#include <thread>

namespace tessaly {

// Writes a LogWriter's output on a thread of its own, so that a log of
// millions of rows leaves the window responsive, into a file or into memory.
//
// A file is written as a temporary file beside it and renamed over it only
// when complete: a cancelled or failed write leaves whatever was there
// before (or nothing) under the name.
class LogWriteJob : public QObject {
  Q_OBJECT

 public:
  enum class Outcome { kRunning, kDone, kCancelled, kFailed, kTooLarge };

  // An empty file name writes into memory (TakeBytes()).
  LogWriteJob(LogWriter writer, QString fileName, QObject* parent = nullptr);
  // Cancels the write and waits for its thread.
  ~LogWriteJob() override;

  void Start();
  // Asks the thread to stop after its current piece; finished() follows.
  void Cancel() { cancel_ = true; }
  // Before Start(): a write into memory stops, as too large, once it holds
  // more than this many bytes.
  void SetMemoryLimit(qsizetype bytes) { memoryLimit_ = bytes; }

  const QString& FileName() const { return fileName_; }
  int RowsWritten() const { return rowsWritten_; }
  int RowCount() const { return rowCount_; }
  Outcome Result() const { return outcome_; }
  // Why the write failed: the path and the reason.
  const QString& ErrorText() const { return errorText_; }
  // What was written into memory (a copy of a million rows is tens of
  // megabytes).
  QByteArray TakeBytes() { return std::move(bytes_); }

  // For tests: runs on a file job's thread before each piece, so that a
  // test can hold a save at a known point. Set it only while no job runs.
  static inline std::function<void()> beforeEachPiece;

 signals:
  // On the thread that started the job, once the thread has ended.
  void finished();

 private:
  void Run();
  void WriteFile();
  void WriteMemory();

  LogWriter writer_;
  const QString fileName_;
  const int rowCount_;
  std::atomic<int> rowsWritten_ = 0;
  std::atomic<bool> cancel_ = false;
  // Written by the thread, read after finished().
  Outcome outcome_ = Outcome::kRunning;
  QString errorText_;
  QByteArray bytes_;
  qsizetype memoryLimit_ = std::numeric_limits<qsizetype>::max();
  std::thread thread_;
};

}  // namespace tessaly
