#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <filesystem>
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
//   them, or stay;
// - while every row is in the capture files written as it came: where they
//   are kept, and that the captures folder's budget may remove them in
//   time; keep them, save them elsewhere, or stay.
// A log that is empty, that a save wrote whole with no row since, or that
// shows a file opened (and only that), closes without a word.
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
  // The log as it is now came whole from fileName (a capture opened);
  // stillReading: the file's later rows are still coming, and are kept too.
  void MarkKept(const QString& fileName, bool stillReading = false);
  // Tells whether every packet of the log is in the capture files written
  // as it came, and which files those are (oldest first): closing then
  // says where they are kept rather than asks to save them. The budget of
  // the captures folder is read from the store in storeDirectory.
  void SetRecordedCheck(std::function<bool()> everyPacketRecorded, std::function<QStringList()> recordedFiles,
                        std::filesystem::path storeDirectory) {
    everyPacketRecorded_ = std::move(everyPacketRecorded);
    recordedFiles_ = std::move(recordedFiles);
    storeDirectory_ = std::move(storeDirectory);
  }

  // What the question about a recorded capture tells below its first line:
  // the folder, and after about how many newer captures of its size the
  // budget (allowedBytes for the whole folder) may remove it.
  static QString RecordedCaptureAdvice(const QString& file, int earlierFiles, std::int64_t fileBytes,
                                       std::int64_t allowedBytes);

 private:
  bool AskAboutRunningSave();
  bool AskAboutUnsavedRows();
  bool AskAboutRecordedCapture(const QStringList& files);
  // Saves the log and closes once written (false: the window stays for now).
  bool SaveThenClose();
  void WaitForSave();
  void SaveEnded();

  QWidget& window_;
  PacketLogModel& log_;
  LogSaveCommand& save_;
  std::function<void()> stopCapture_;
  std::function<bool()> everyPacketRecorded_;
  std::function<QStringList()> recordedFiles_;
  std::filesystem::path storeDirectory_;
  bool readingKept_ = false;  // rows still being read from keptIn_
  // What the last completed save holds: the log's first keptRows_ rows, in
  // keptIn_. A cleared log holds other rows, so clearing forgets it.
  int keptRows_ = -1;
  QString keptIn_;
  bool closeWhenSaved_ = false;
  bool saveSucceeded_ = false;
};

}  // namespace tessaly
