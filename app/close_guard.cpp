#include "app/close_guard.h"

#include "app/log_save_command.h"
#include "capture_file/capture_budget.h"
#include "log/packet_log_model.h"
#include "presentation/error_report.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <utility>

namespace tessaly {

CloseGuard::CloseGuard(QWidget& window, PacketLogModel& log, LogSaveCommand& save,
                       std::function<void()> stopCapture)
    : QObject(&window), window_(window), log_(log), save_(save), stopCapture_(std::move(stopCapture)) {
  connect(&save_, &LogSaveCommand::saved, this, [this](const QString& fileName, int rows) {
    keptIn_ = fileName;
    keptRows_ = rows;
    saveSucceeded_ = true;
  });
  connect(&save_, &LogSaveCommand::finished, this, &CloseGuard::SaveEnded);
  connect(&log_, &QAbstractItemModel::modelReset, this, [this] {
    keptRows_ = -1;
    keptIn_.clear();
    readingKept_ = false;
  });
}

void CloseGuard::MarkKept(const QString& fileName, bool stillReading) {
  keptIn_ = fileName;
  keptRows_ = log_.PacketCount();
  readingKept_ = stillReading;
}

bool CloseGuard::LogKept() const {
  return log_.PacketCount() == 0 || log_.PacketCount() == keptRows_ || readingKept_;
}

bool CloseGuard::MayClose() {
  if (save_.Saving()) return AskAboutRunningSave();
  if (LogKept()) return true;
  if (everyPacketRecorded_ && everyPacketRecorded_() && recordedFiles_) {
    const QStringList files = recordedFiles_();
    if (!files.isEmpty()) return AskAboutRecordedCapture(files);
  }
  return AskAboutUnsavedRows();
}

QString CloseGuard::RecordedCaptureAdvice(const QString& file, int earlierFiles, std::int64_t fileBytes,
                                          std::int64_t allowedBytes) {
  QString advice = QStringLiteral("It is in %1").arg(QDir::toNativeSeparators(QFileInfo(file).absolutePath()));
  if (earlierFiles > 0) {
    advice += QStringLiteral(", with the %1 earlier file%2 of this capture")
                  .arg(earlierFiles)
                  .arg(earlierFiles == 1 ? QString() : QStringLiteral("s"));
  }
  advice += QStringLiteral(
      ", whose disk budget removes the oldest captures first: it may be removed after about %1 newer "
      "captures of its size (%2 MB of newer captures). Save it elsewhere to keep it for good.")
                .arg(std::max<std::int64_t>(0, allowedBytes / std::max<std::int64_t>(fileBytes, 1) - 1))
                .arg(std::max<std::int64_t>(0, allowedBytes - fileBytes) / (1024 * 1024));
  return advice;
}

bool CloseGuard::AskAboutRecordedCapture(const QStringList& files) {
  const QString& file = files.last();
  // What the folder may hold: the budget's size, or less where the disk
  // must keep its share free.
  const CaptureBudget budget = ReadCaptureBudget(storeDirectory_);
  std::int64_t allowed = static_cast<std::int64_t>(budget.maxMegabytes) * 1024 * 1024;
  const QStorageInfo disk(QFileInfo(file).absolutePath());
  if (disk.isValid() && disk.bytesTotal() > 0) {
    std::int64_t folderBytes = 0;
    const QDir folder(QFileInfo(file).absolutePath());
    for (const QFileInfo& capture : folder.entryInfoList({QStringLiteral("*.pcapng")}, QDir::Files)) {
      folderBytes += capture.size();
    }
    const std::int64_t keepFree = disk.bytesTotal() / 100 * budget.minFreePercent;
    allowed = std::min<std::int64_t>(allowed, folderBytes + disk.bytesAvailable() - keepFree);
  }
  QMessageBox box(QMessageBox::Question, QString::fromLatin1(kApplicationTitle),
                  QStringLiteral("The capture is kept in %1.").arg(QFileInfo(file).fileName()),
                  QMessageBox::NoButton, &window_);
  box.setObjectName(QStringLiteral("RecordedCaptureQuestion"));
  box.setInformativeText(
      RecordedCaptureAdvice(file, static_cast<int>(files.size() - 1), QFileInfo(file).size(), allowed));
  QPushButton* keep = box.addButton(QStringLiteral("&Keep"), QMessageBox::AcceptRole);
  QPushButton* saveAs = box.addButton(QStringLiteral("Save &as\u2026"), QMessageBox::ActionRole);
  QPushButton* stay = box.addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
  box.setDefaultButton(keep);
  box.setEscapeButton(stay);
  box.exec();
  if (box.clickedButton() == keep) return true;
  if (box.clickedButton() == saveAs) return SaveThenClose();
  return false;
}

bool CloseGuard::AskAboutRunningSave() {
  QMessageBox box(QMessageBox::Question, QString::fromLatin1(kApplicationTitle),
                  QStringLiteral("The log is still being saved."), QMessageBox::NoButton, &window_);
  box.setObjectName(QStringLiteral("SaveRunningQuestion"));
  box.setInformativeText(QStringLiteral(
      "Wait for the file to be complete, and the window closes then; or cancel the save, and "
      "the window closes without it."));
  QPushButton* wait = box.addButton(QStringLiteral("&Wait"), QMessageBox::AcceptRole);
  QPushButton* cancel = box.addButton(QStringLiteral("&Cancel the save"), QMessageBox::DestructiveRole);
  QPushButton* stay = box.addButton(QStringLiteral("&Keep the window open"), QMessageBox::RejectRole);
  box.setDefaultButton(wait);
  box.setEscapeButton(stay);
  box.exec();
  if (box.clickedButton() == wait) {
    // The save may have ended while the question was open.
    if (!save_.Saving()) return MayClose();
    // Packets from now on would only be asked about once more when the file
    // is written.
    stopCapture_();
    WaitForSave();
    return false;
  }
  if (box.clickedButton() == cancel) {
    // The job stops at its next piece; a half-written file is never left
    // under the chosen name.
    save_.Cancel();
    return true;
  }
  return false;
}

bool CloseGuard::AskAboutUnsavedRows() {
  const int unsaved = log_.PacketCount() - std::max(keptRows_, 0);
  QMessageBox box(QMessageBox::Warning, QString::fromLatin1(kApplicationTitle),
                  QStringLiteral("The log holds %1 packets that have not been saved.").arg(unsaved),
                  QMessageBox::NoButton, &window_);
  box.setObjectName(QStringLiteral("UnsavedLogQuestion"));
  QString advice = QStringLiteral("Save the log before closing? Discarded packets are lost.");
  if (keptRows_ > 0) {
    advice += QStringLiteral("\n\nThe %1 packets before them are in %2.")
                  .arg(keptRows_)
                  .arg(QDir::toNativeSeparators(keptIn_));
  }
  box.setInformativeText(advice);
  QPushButton* save = box.addButton(QStringLiteral("&Save..."), QMessageBox::AcceptRole);
  QPushButton* discard = box.addButton(QStringLiteral("&Discard"), QMessageBox::DestructiveRole);
  QPushButton* stay = box.addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
  box.setDefaultButton(save);
  box.setEscapeButton(stay);
  box.exec();
  if (box.clickedButton() == discard) return true;
  if (box.clickedButton() != save) return false;
  return SaveThenClose();
}

bool CloseGuard::SaveThenClose() {
  // A file chosen: capture ends, so that the file holds every packet, and
  // the window closes once it is written. No file chosen: the window stays
  // and capture goes on.
  save_.Run(stopCapture_);
  if (save_.Saving()) WaitForSave();
  return false;
}

void CloseGuard::WaitForSave() {
  closeWhenSaved_ = true;
  saveSucceeded_ = false;
  save_.ShowProgressNow();
}

void CloseGuard::SaveEnded() {
  if (!closeWhenSaved_) return;
  closeWhenSaved_ = false;
  // A failed save has been reported and a cancelled one was the user's
  // choice: either way the log is not kept, and the window stays.
  if (!saveSucceeded_) return;
  // Rows that arrived while the file was written are asked about anew.
  QTimer::singleShot(0, &window_, [this] { window_.close(); });
}

}  // namespace tessaly
