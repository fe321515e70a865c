#pragma once

#include "log/log_export.h"

#include <QObject>

#include <memory>

class QWidget;

namespace tessaly {

class LogWriteJob;

// Puts rows of the log on the clipboard as text lines. A few rows are
// written at once; more on a thread of their own (LogWriteJob), so the
// window goes on while they are written, however many there are.
//
// The clipboard gets the text as it was written, one byte a character
// (ClipboardText): nothing is converted on the window's thread, neither now
// nor when another program pastes it, and the clipboard holds half of what
// a text string would. It lets the text go when another program takes the
// clipboard.
//
// A copy of more text than the limit is refused: the user is told so and
// offered to save the log to a file instead. A copy that runs out of memory
// is reported.
class LogCopyCommand : public QObject {
  Q_OBJECT

 public:
  // Beyond this much text a clipboard is no sensible way to move the rows:
  // pasting it would choke most programs that take it.
  static constexpr qsizetype kDefaultLimitBytes = 100'000'000;
  // Up to this many rows (3 MB of text at most) are written at once.
  static constexpr int kDirectRows = 1'000;

  // The box that offers to save is shown over owner.
  explicit LogCopyCommand(QWidget& owner);
  ~LogCopyCommand() override;

  // Starts the copy; does nothing while one is still being written.
  void Copy(LogWriter writer);

  qsizetype LimitBytes() const { return limit_; }
  void SetLimitBytes(qsizetype bytes) { limit_ = bytes; }

 signals:
  // The rows are on the clipboard.
  void copied(int rows);
  // The user chose to save the log instead of a copy too large.
  void saveRequested();

 private:
  void Finish();
  void Deliver(QByteArray text, int rows);
  void OfferSave();

  QWidget& owner_;
  qsizetype limit_ = kDefaultLimitBytes;
  std::unique_ptr<LogWriteJob> job_;
};

}  // namespace tessaly
