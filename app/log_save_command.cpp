#include "app/log_save_command.h"

#include "app/save_place.h"
#include "log/log_write_job.h"
#include "log/packet_log_model.h"
#include "presentation/error_report.h"

#include <QDir>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QLineEdit>
#include <QProgressDialog>

namespace tessaly {
namespace {

struct FileType {
  const char* filter;
  const char* extension;
};

// Each type lists the files of all four, so that choosing one never hides
// the logs already saved in another; the dialog shows the names alone.
constexpr FileType kFileTypes[] = {
    {"Text, .txt (*.txt *.csv *.pcap *.pcapng)", ".txt"},
    {"CSV, .csv (*.csv *.txt *.pcap *.pcapng)", ".csv"},
    {"pcap for Wireshark, .pcap (*.pcap *.txt *.csv *.pcapng)", ".pcap"},
    {"CSV with decoded fields, .csv (*.csv *.txt *.pcap *.pcapng)", ".csv"},
    {"pcapng with the line's description, .pcapng (*.pcapng *.txt *.csv *.pcap)", ".pcapng"},
};

// The type that adds each row's Modbus fields to the CSV.
const FileType& DecodedCsvType() { return kFileTypes[3]; }

const FileType& TypeOfExtension(const QString& extension) {
  for (const FileType& type : kFileTypes) {
    if (QLatin1String(type.extension).mid(1) == extension) return type;
  }
  return kFileTypes[0];
}

// The dialog may give the filter whole or by its name alone.
const FileType* TypeOfFilter(const QString& filter) {
  for (const FileType& type : kFileTypes) {
    const QString whole = QString::fromLatin1(type.filter);
    if (filter == whole || filter == whole.section(QStringLiteral(" ("), 0, 0)) return &type;
  }
  return nullptr;
}

bool HasLogExtension(const QString& fileName) {
  const QString suffix = QFileInfo(fileName).suffix().toLower();
  return suffix == QLatin1String("txt") || suffix == QLatin1String("csv") ||
         suffix == QLatin1String("pcap") || suffix == QLatin1String("pcapng");
}

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

LogSaveCommand::LogSaveCommand(PacketLogModel& log, QWidget& window,
                               std::filesystem::path storeDirectory)
    : log_(log), window_(window), storeDirectory_(std::move(storeDirectory)) {
  progressTimer_.setInterval(100);
  connect(&progressTimer_, &QTimer::timeout, this, &LogSaveCommand::ShowProgress);
  connect(&log_, &PacketLogModel::packetAppended, this, [this] {
    if (linkAtStart_.isEmpty() && linkName_) linkAtStart_ = linkName_();
  });
  connect(&log_, &QAbstractItemModel::modelReset, this, [this] { linkAtStart_.clear(); });
}

QString LogSaveCommand::ProposedName() const {
  const PacketTime start = log_.PacketCount() > 0 ? log_.PacketAt(0).time : WallClockNow();
  QString link = linkAtStart_;
  if (link.isEmpty() && linkName_) link = linkName_();
  return ProposedLogName(start, link);
}

LogSaveCommand::~LogSaveCommand() = default;

void LogSaveCommand::Run(const std::function<void()>& beforeSaving) {
  if (Saving()) return;
  QStringList filters;
  for (const FileType& type : kFileTypes) filters << QString::fromLatin1(type.filter);
  ExtensionTypes types;
  const SavePlace place(storeDirectory_);
  const FileType& lastType = TypeOfExtension(place.Type());
  QFileDialog dialog(&window_, QStringLiteral("Save log as"), place.Folder(),
                     filters.join(QStringLiteral(";;")));
  dialog.setObjectName(QStringLiteral("SaveLogDialog"));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setOption(QFileDialog::HideNameFilterDetails);
  dialog.setIconProvider(&types);
  dialog.selectNameFilter(QString::fromLatin1(lastType.filter));
  dialog.selectFile(ProposedName() + QLatin1String(lastType.extension));
  // Another type chosen: the name typed so far takes its extension.
  connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& filter) {
    auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    const FileType* type = TypeOfFilter(filter);
    if (name == nullptr || type == nullptr || !HasLogExtension(name->text())) return;
    const QString text = name->text();
    name->setText(text.left(text.lastIndexOf(u'.')) + QLatin1String(type->extension));
  });
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  QString fileName = dialog.selectedFiles().front();
  // A name without one of the four extensions gets the chosen filter's.
  if (!HasLogExtension(fileName)) {
    if (const FileType* type = TypeOfFilter(dialog.selectedNameFilter())) {
      fileName += QLatin1String(type->extension);
    }
  }
  if (beforeSaving) beforeSaving();
  const bool decoded = TypeOfFilter(dialog.selectedNameFilter()) == &DecodedCsvType() &&
                       LogFileFormatForName(fileName) == LogFileFormat::kCsv;
  SaveTo(fileName, decoded);
  // The save goes ahead even when the store cannot remember its place.
  RunReportingErrors([&place, &fileName] { place.Remember(fileName); });
}

void LogSaveCommand::SaveTo(const QString& fileName, bool decodedFields) {
  if (Saving()) return;
  const LogFileFormat format = LogFileFormatForName(fileName);
  const bool decoded = decodedFields && format == LogFileFormat::kCsv;
  LogWriter writer(log_.TakeSnapshot(), decoded ? LogFileFormat::kDecodedCsv : format);
  if (decoded && decoding_) writer.SetDecoding(decoding_());
  writer.SetMarks(log_.Marks());
  writer.SetMasterLine(log_.MasterLine());
  writer.SetLineNames({log_.LineNames().begin(), log_.LineNames().end()});
  if (line_) writer.SetLine(line_());
  if (secondLine_) {
    if (std::optional<CaptureInterface> second = secondLine_()) writer.SetSecondLine(std::move(*second));
  }
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
