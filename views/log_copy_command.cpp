#include "views/log_copy_command.h"

#include "log/clipboard_text.h"
#include "log/log_write_job.h"
#include "presentation/error_report.h"

#include <QApplication>
#include <QClipboard>
#include <QMessageBox>
#include <QPushButton>

#include <new>
#include <utility>

namespace tessaly {

namespace {

QString NotEnoughMemory(int rows) {
  return QStringLiteral("Not enough memory to copy %1 rows").arg(rows);
}

}  // namespace

LogCopyCommand::LogCopyCommand(QWidget& owner) : QObject(&owner), owner_(owner) {}

LogCopyCommand::~LogCopyCommand() = default;

void LogCopyCommand::Copy(LogWriter writer) {
  if (job_ != nullptr) return;
  const int rows = writer.RowCount();
  if (rows <= kDirectRows) {
    QByteArray text;
    try {
      while (writer.WriteNext(text)) {
      }
    } catch (const std::bad_alloc&) {
      text.clear();
      ShowErrorReport(NotEnoughMemory(rows));
      return;
    }
    if (text.size() > limit_) {
      OfferSave();
      return;
    }
    Deliver(std::move(text), rows);
    return;
  }
  job_ = std::make_unique<LogWriteJob>(std::move(writer), QString());
  job_->SetMemoryLimit(limit_);
  connect(job_.get(), &LogWriteJob::finished, this, &LogCopyCommand::Finish);
  QApplication::setOverrideCursor(Qt::BusyCursor);
  job_->Start();
}

void LogCopyCommand::Finish() {
  QApplication::restoreOverrideCursor();
  const std::unique_ptr<LogWriteJob> job = std::move(job_);
  switch (job->Result()) {
    case LogWriteJob::Outcome::kDone:
      Deliver(job->TakeBytes(), job->RowCount());
      break;
    case LogWriteJob::Outcome::kTooLarge:
      OfferSave();
      break;
    case LogWriteJob::Outcome::kFailed:
      ShowErrorReport(NotEnoughMemory(job->RowCount()));
      break;
    case LogWriteJob::Outcome::kRunning:
    case LogWriteJob::Outcome::kCancelled:
      break;
  }
}

void LogCopyCommand::Deliver(QByteArray text, int rows) {
  // The clipboard takes the text over; the only work left here is telling
  // the display that the program now holds the clipboard.
  QApplication::clipboard()->setMimeData(new ClipboardText(std::move(text)));
  emit copied(rows);
}

void LogCopyCommand::OfferSave() {
  auto* box = new QMessageBox(
      QMessageBox::Warning, QString::fromLatin1(kApplicationTitle),
      QStringLiteral("The selected rows make more than %1 MB of text, too much for the clipboard.")
          .arg(QString::number(static_cast<double>(limit_) / 1e6, 'g', 4)),
      QMessageBox::Cancel, &owner_);
  box->setObjectName(QStringLiteral("CopyTooLarge"));
  box->setInformativeText(QStringLiteral("Save the log to a file instead?"));
  QPushButton* save = box->addButton(QStringLiteral("&Save log as\u2026"), QMessageBox::AcceptRole);
  save->setObjectName(QStringLiteral("CopyTooLargeSave"));
  box->setDefaultButton(save);
  box->setAttribute(Qt::WA_DeleteOnClose);
  connect(save, &QPushButton::clicked, this, &LogCopyCommand::saveRequested);
  // Not waited for: capture goes on while the box is up.
  box->open();
}

}  // namespace tessaly
