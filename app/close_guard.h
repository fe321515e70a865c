#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QWidget;

namespace tessaly {

class LogSaveCommand;
class PacketLogModel;

// The questions asked before the main window closes, so that closing never
// throws captured rows away unasked:
// - while a save runs: wait for it (its progress shows, and the window
//   closes when the file is complete), cancel it and close, or stay;
// - while the log holds rows no completed save holds: save them, discard
//   them, or stay.
// A log that is empty, or that a save wrote whole with no row since, closes
// without a word.
class CloseGuard : public QObject {
  Q_OBJECT

 public:
  // stopCapture ends capture (closes the links and logs a packet still
  // being collected): once the user has chosen to save and close, or to
  // wait for a save, packets arriving meanwhile would never be in the file.
  CloseGuard(QWidget& window, PacketLogModel& log, LogSaveCommand& save,
             std::function<void()> stopCapture);

  // Asks what is needed; true when the window may close now. False keeps
  // it open: the user chose to stay, or to wait for a save, after which the
  // guard closes the window itself.
  bool MayClose();

  // Every row of the log is in the file last saved (trivially so for an
  // empty log).
  bool LogKept() const;
  const QString& KeptIn() const { return keptIn_; }
  // The log as it is now came whole from fileName (a capture opened).
  void MarkKept(const QString& fileName);
  // Tells whether every packet of the log is in the capture files written
  // as it came: then closing needs no question.
  void SetRecordedCheck(std::function<bool()> everyPacketRecorded) {
    everyPacketRecorded_ = std::move(everyPacketRecorded);
  }

 private:
  bool AskAboutRunningSave();
  bool AskAboutUnsavedRows();
  void WaitForSave();
  void SaveEnded();

  QWidget& window_;
  PacketLogModel& log_;
  LogSaveCommand& save_;
  std::function<void()> stopCapture_;
  std::function<bool()> everyPacketRecorded_;
  // What the last completed save holds: the log's first keptRows_ rows, in
  // keptIn_. A cleared log holds other rows, so clearing forgets it.
  int keptRows_ = -1;
  QString keptIn_;
  bool closeWhenSaved_ = false;
  bool saveSucceeded_ = false;
};

}  // namespace tessaly
