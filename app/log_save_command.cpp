#include "app/log_save_command.h"

#include "capture/log_write_job.h"
#include "capture/packet_log_model.h"
#include "presentation/error_report.h"

#include <QDir>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QProgressDialog>

namespace tessaly {
namespace {

struct FileType {
  const char* filter;
  const char* extension;
};

constexpr FileType kFileTypes[] = {
    {"Text (*.txt)", ".txt"},
    {"CSV (*.csv)", ".csv"},
    {"pcap for Wireshark (*.pcap)", ".pcap"},
};

// Names a file's type by its extension alone. The stock provider reads the
// start of files it cannot name otherwise, and in a folder such as /proc a
// read can block for good, freezing the window and the capture with it.
class ExtensionTypes : public QFileIconProvider {
 public:
  using QFileIconProvider::icon;
  QIcon icon(const QFileInfo& info) const override {
    return icon(info.isDir() ? QFileIconProvider::Folder : QFileIconProvider::File);
  }
  QString type(const QFileInfo& info) const override {
    if (info.isDir()) return QStringLiteral("Folder");
    return info.suffix().isEmpty() ? QStringLiteral("File")
                                   : info.suffix().toUpper() + QStringLiteral(" file");
  }
};

}  // namespace

LogSaveCommand::LogSaveCommand(PacketLogModel& log, QWidget& window)
    : log_(log), window_(window), lastFolder_(QDir::homePath()) {
  progressTimer_.setInterval(100);
  connect(&progressTimer_, &QTimer::timeout, this, &LogSaveCommand::ShowProgress);
}

LogSaveCommand::~LogSaveCommand() = default;

void LogSaveCommand::Run() {
  if (Saving()) return;
  QStringList filters;
  for (const FileType& type : kFileTypes) filters << QString::fromLatin1(type.filter);
  ExtensionTypes types;
  QFileDialog dialog(&window_, QStringLiteral("Save log as"), lastFolder_,
                     filters.join(QStringLiteral(";;")));
  dialog.setObjectName(QStringLiteral("SaveLogDialog"));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setIconProvider(&types);
  dialog.selectFile(QStringLiteral("packet-log.txt"));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  QString fileName = dialog.selectedFiles().front();
  const QString filter = dialog.selectedNameFilter();
  // A name without one of the three extensions gets the chosen filter's.
  const QString suffix = QFileInfo(fileName).suffix().toLower();
  if (suffix != QLatin1String("txt") && suffix != QLatin1String("csv") &&
      suffix != QLatin1String("pcap")) {
    for (const FileType& type : kFileTypes) {
      if (filter == QLatin1String(type.filter)) fileName += QLatin1String(type.extension);
    }
  }
  lastFolder_ = QFileInfo(fileName).absolutePath();
  SaveTo(fileName);
}

void LogSaveCommand::SaveTo(const QString& fileName) {
  if (Saving()) return;
  LogWriter writer(log_.TakeSnapshot(), LogFileFormatForName(fileName));
  job_ = std::make_unique<LogWriteJob>(std::move(writer), fileName);
  connect(job_.get(), &LogWriteJob::finished, this, &LogSaveCommand::Finish);

  progress_ = new QProgressDialog(QStringLiteral("Saving the log to %1")
                                      .arg(QDir::toNativeSeparators(fileName)),
                                  QStringLiteral("Cancel"), 0, job_->RowCount(), &window_);
  progress_->setObjectName(QStringLiteral("SaveProgress"));
  progress_->setWindowTitle(QStringLiteral("Save log as"));
  // Capture and the log stay usable while the file is written.
  progress_->setWindowModality(Qt::NonModal);
  progress_->setMinimumDuration(kProgressDelay);
  progress_->setAutoReset(false);
  progress_->setAutoClose(false);
  progress_->setValue(0);
  connect(progress_, &QProgressDialog::canceled, this, &LogSaveCommand::Cancel);
  progressTimer_.start();
  job_->Start();
}

void LogSaveCommand::Cancel() {
  if (job_ != nullptr) job_->Cancel();
}

void LogSaveCommand::ShowProgressNow() {
  if (job_ == nullptr || progress_ == nullptr) return;
  ShowProgress();
  progress_->show();
}

void LogSaveCommand::ShowProgress() {
  if (job_ != nullptr && progress_ != nullptr) progress_->setValue(job_->RowsWritten());
}

void LogSaveCommand::Finish() {
  progressTimer_.stop();
  delete progress_;
  const std::unique_ptr<LogWriteJob> job = std::move(job_);
  if (job->Result() == LogWriteJob::Outcome::kFailed) ShowErrorReport(job->ErrorText());
  if (job->Result() == LogWriteJob::Outcome::kDone) emit saved(job->FileName(), job->RowCount());
  emit finished();
}

}  // namespace tessaly
