#pragma once

#include "app/capture_lines.h"
#include "capture_file/capture_file_reader.h"

#include <QObject>
#include <QString>

#include <filesystem>
#include <functional>
#include <memory>

class QMainWindow;
class QMenu;

namespace tessaly {

class CaptureLoad;
class CloseGuard;
class PacketLogModel;

// Showing a capture file in the log in place of live capture: File > Open
// capture, File > Recent captures, a file named on the command line, and
// the capture a crash cut off, offered at start-up. A file that cannot be
// shown is reported and the log stays as it was; a running capture is asked
// about first and ended (endCapture) before the file's rows replace it. A
// long file's first rows show at once, the rest as they are read, with the
// progress in the status bar.
class CaptureOpenCommand : public QObject {
  Q_OBJECT

 public:
  CaptureOpenCommand(QMainWindow& window, PacketLogModel& log, CloseGuard& closeGuard,
                     std::filesystem::path storeDirectory, std::function<bool()> capturing,
                     std::function<void()> endCapture);
  ~CaptureOpenCommand() override;

  // Asks for a file in the captures folder, then opens it.
  void Run();
  // True when the file is shown (a long one goes on being read).
  bool Open(const QString& path);
  // True while the rest of a file opened is read into the log.
  bool Reading() const { return load_ != nullptr; }
  void OfferUnfinished();
  // Lists the captures opened last, for the menu about to show.
  void FillRecent(QMenu& menu);

  // Before live capture replaces a file shown: asks, and on yes empties the
  // log. True when capture may start.
  bool MayStartCapture();

  // The file the log shows (empty while it shows live capture) and its line.
  const QString& Shown() const { return shown_; }
  const CaptureInterface& ShownLine() const { return shownLine_; }
  // Which line each row of the file shown came on.
  const CaptureLines& ShownLines() const { return shownLines_; }

 signals:
  // The whole file is in the log, or its reading stopped.
  void readingEnded();

 private:
  void Show(const QString& path, std::unique_ptr<CaptureLoad> load);
  void ShowProgress(quint64 packets, int percent);
  void ShowEnd(quint64 packets, bool torn, const QString& failure);
  // Stops reading a file into the log, keeping what is in it.
  void StopReading();

  QMainWindow& window_;
  PacketLogModel& log_;
  CloseGuard& closeGuard_;
  std::filesystem::path storeDirectory_;
  std::function<bool()> capturing_;
  std::function<void()> endCapture_;
  QString shown_;
  CaptureInterface shownLine_;
  CaptureLines shownLines_;
  std::unique_ptr<CaptureLoad> load_;
};

}  // namespace tessaly
