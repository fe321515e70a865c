#include "log/log_write_job.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <unistd.h>

#include <cerrno>
#include <new>
#include <utility>

namespace tessaly {

LogWriteJob::LogWriteJob(LogWriter writer, QString fileName, QObject* parent)
    : QObject(parent),
      writer_(std::move(writer)),
      fileName_(std::move(fileName)),
      rowCount_(writer_.RowCount()) {}

LogWriteJob::~LogWriteJob() {
  cancel_ = true;
  if (thread_.joinable()) thread_.join();
}

void LogWriteJob::Start() {
  thread_ = std::thread([this] { Run(); });
}

void LogWriteJob::Run() {
  try {
    if (fileName_.isEmpty()) {
      WriteMemory();
    } else {
      WriteFile();
    }
  } catch (const std::bad_alloc&) {
    bytes_.clear();
    outcome_ = Outcome::kFailed;
    errorText_ = QStringLiteral("Not enough memory to write %1 rows").arg(rowCount_);
  }
  // Joined on the starting thread, which then hears of the end.
  QMetaObject::invokeMethod(
      this,
      [this] {
        thread_.join();
        emit finished();
      },
      Qt::QueuedConnection);
}

void LogWriteJob::WriteMemory() {
  while (!cancel_) {
    const bool more = writer_.WriteNext(bytes_);
    rowsWritten_ = writer_.RowsWritten();
    if (bytes_.size() > memoryLimit_) {
      bytes_.clear();
      outcome_ = Outcome::kTooLarge;
      return;
    }
    if (!more) {
      outcome_ = Outcome::kDone;
      return;
    }
  }
  bytes_.clear();
  outcome_ = Outcome::kCancelled;
}

void LogWriteJob::WriteFile() {
  const QString shownPath = QDir::toNativeSeparators(QFileInfo(fileName_).absoluteFilePath());
  const auto fail = [&](const QString& reason) {
    outcome_ = Outcome::kFailed;
    errorText_ = QStringLiteral("Cannot save the log to %1: %2").arg(shownPath, reason);
  };
  if (QFileInfo(fileName_).isDir()) return fail(QStringLiteral("it is a folder"));

  QSaveFile file(fileName_);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) return fail(file.errorString());
  QByteArray piece;
  piece.reserve(LogWriter::kPieceBytes * 2);
  bool more = true;
  while (more) {
    if (beforeEachPiece) beforeEachPiece();
    if (cancel_) {
      file.cancelWriting();
      outcome_ = Outcome::kCancelled;
      return;  // the temporary file goes with the QSaveFile
    }
    piece.clear();
    more = writer_.WriteNext(piece);
    // Straight to the descriptor: a write the disk cuts short must give its
    // reason (a short count through QIODevice comes without one).
    const char* data = piece.constData();
    for (qsizetype left = piece.size(); left > 0;) {
      const ssize_t written = ::write(file.handle(), data, static_cast<std::size_t>(left));
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) return fail(qt_error_string(written < 0 ? errno : ENOSPC));
      data += written;
      left -= written;
    }
    rowsWritten_ = writer_.RowsWritten();
  }
  if (!file.commit()) return fail(file.errorString());
  outcome_ = Outcome::kDone;
}

}  // namespace tessaly
