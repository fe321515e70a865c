#include "app/close_guard.h"

#include "app/log_save_command.h"
#include "log/packet_log_model.h"
#include "presentation/error_report.h"

#include <QDir>
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
  });
}

void CloseGuard::MarkKept(const QString& fileName) {
  keptIn_ = fileName;
  keptRows_ = log_.PacketCount();
}

bool CloseGuard::LogKept() const {
  return log_.PacketCount() == 0 || log_.PacketCount() == keptRows_;
}

bool CloseGuard::MayClose() {
  if (save_.Saving()) return AskAboutRunningSave();
  const bool recorded = everyPacketRecorded_ && everyPacketRecorded_();
  if (!LogKept() && !recorded) return AskAboutUnsavedRows();
  return true;
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
