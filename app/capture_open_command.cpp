#include "app/capture_open_command.h"

#include "capture_file/capture_folder.h"
#include "app/capture_load.h"
#include "capture_file/capture_open.h"
#include "app/close_guard.h"
#include "log/packet_log_model.h"
#include "capture_file/capture_file_writer.h"
#include "presentation/error_report.h"

#include <QAction>
#include <QFile>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMainWindow>
#include <QMenu>
#include <QMessageBox>
#include <QStatusBar>

namespace tessaly {
namespace {

// How long the note of a file opened stays over the status panels.
constexpr int kOpenedNoteMs = 10'000;

bool AskYes(QWidget& parent, const QString& question, QMessageBox::StandardButton no) {
  return QMessageBox::question(&parent, QString::fromLatin1(kApplicationTitle), question, QMessageBox::Yes | no) ==
         QMessageBox::Yes;
}

}  // namespace

CaptureOpenCommand::CaptureOpenCommand(QMainWindow& window, PacketLogModel& log, CloseGuard& closeGuard,
                                       std::filesystem::path storeDirectory, std::function<bool()> capturing,
                                       std::function<void()> endCapture)
    : QObject(&window),
      window_(window),
      log_(log),
      closeGuard_(closeGuard),
      storeDirectory_(std::move(storeDirectory)),
      capturing_(std::move(capturing)),
      endCapture_(std::move(endCapture)) {
  // A log cleared while a file is read into it stays cleared.
  connect(&log_, &QAbstractItemModel::modelReset, this, [this] { StopReading(); });
}

CaptureOpenCommand::~CaptureOpenCommand() = default;

void CaptureOpenCommand::Run() {
  const QString path =
      QFileDialog::getOpenFileName(&window_, QStringLiteral("Open capture"), CaptureFolder(),
                                   QStringLiteral("Captures (*.pcapng *.pcap *.cap *.ntar);;All files (*)"));
  if (!path.isEmpty()) Open(path);
}

bool CaptureOpenCommand::Open(const QString& path) {
  // Read the file's start first: a file that cannot be shown leaves the log
  // and a running capture untouched.
  std::unique_ptr<CaptureLoad> load;
  try {
    load = std::make_unique<CaptureLoad>(path);
  } catch (const CaptureFileError& failure) {
    ShowErrorReport(QString::fromStdString(failure.what()));
    return false;
  } catch (const std::bad_alloc&) {
    ShowErrorReport(QStringLiteral("Cannot read the capture %1: out of memory").arg(path));
    return false;
  } catch (const std::exception& failure) {
    ShowErrorReport(QStringLiteral("Cannot read the capture %1: %2").arg(path, QString::fromLocal8Bit(failure.what())));
    return false;
  }
  if (capturing_()) {
    if (!AskYes(window_,
                QStringLiteral("A capture is running. Stop it and open %1?").arg(QDir::toNativeSeparators(path)),
                QMessageBox::Cancel)) {
      return false;
    }
    endCapture_();
  }
  Show(path, std::move(load));
  return true;
}

void CaptureOpenCommand::OfferUnfinished() {
  const std::optional<QString> path = UnfinishedCapture(CaptureFolder());
  if (!path) return;
  // Offered once: whatever the answer, the next start asks no more.
  ForgetUnfinished(*path);
  // Counted without keeping the packets: the file may be long.
  CaptureSpan span;
  try {
    CapturePacketStream stream(QFile::encodeName(*path).toStdString());
    span = CountCapture(stream);
  } catch (const CaptureFileError& failure) {
    ShowErrorReport(QString::fromStdString(failure.what()));
    return;
  } catch (const std::exception& failure) {
    ShowErrorReport(QStringLiteral("Cannot read the capture %1: %2").arg(*path, QString::fromLocal8Bit(failure.what())));
    return;
  }
  if (span.packets == 0) return;
  if (AskYes(window_, UnfinishedCaptureQuestion(span), QMessageBox::No)) Open(*path);
}

void CaptureOpenCommand::FillRecent(QMenu& menu) {
  menu.clear();
  const QStringList files = RecentCaptures(storeDirectory_);
  for (const QString& file : files) {
    QAction* item = menu.addAction(QDir::toNativeSeparators(file));
    connect(item, &QAction::triggered, this, [this, file] { Open(file); });
  }
  if (files.isEmpty()) menu.addAction(QStringLiteral("(none)"))->setEnabled(false);
}

bool CaptureOpenCommand::MayStartCapture() {
  if (shown_.isEmpty()) return true;
  // An opened file is never mixed with live packets.
  if (!AskYes(window_,
              QStringLiteral("The log shows the capture %1. Start a new capture in its place?")
                  .arg(QDir::toNativeSeparators(shown_)),
              QMessageBox::Cancel)) {
    return false;
  }
  StopReading();
  log_.Clear();
  log_.SetLineNames({});
  shown_.clear();
  shownLine_ = {};
  shownLines_.Clear();
  window_.setWindowTitle(QString::fromLatin1(kApplicationTitle));
  return true;
}

void CaptureOpenCommand::Show(const QString& path, std::unique_ptr<CaptureLoad> load) {
  StopReading();
  log_.Clear();
  // The file's own lines name its rows once it shows two; it does not say
  // which of them the master spoke on.
  log_.SetLineNames({});
  log_.SetMasterLine(-1);
  shown_ = QFileInfo(path).absoluteFilePath();
  shownLine_ = load->FirstInterfaces().empty() ? CaptureInterface{} : load->FirstInterfaces().front().link;
  // The rows are the file's: closing has nothing to ask.
  closeGuard_.MarkKept(shown_);
  window_.setWindowTitle(
      QStringLiteral("%1 \u2014 %2").arg(QFileInfo(path).fileName(), QString::fromLatin1(kApplicationTitle)));
  load_ = std::move(load);
  connect(load_.get(), &CaptureLoad::progress, this, &CaptureOpenCommand::ShowProgress);
  connect(load_.get(), &CaptureLoad::finished, this, &CaptureOpenCommand::ShowEnd);
  shownLines_.Clear();
  load_->Start(log_, shownLines_);
  RunReportingErrors([this] { RememberRecentCapture(storeDirectory_, shown_); });
}

void CaptureOpenCommand::ShowProgress(quint64 packets, int percent) {
  window_.statusBar()->showMessage(QStringLiteral("Reading %1: %2 packets, %3 %")
                                       .arg(QDir::toNativeSeparators(shown_))
                                       .arg(packets)
                                       .arg(percent));
}

void CaptureOpenCommand::ShowEnd(quint64 packets, bool torn, const QString& failure) {
  // Deleted later: this runs inside the load's own signal.
  load_.release()->deleteLater();
  window_.statusBar()->showMessage(
      QStringLiteral("Opened %1: %2 packets%3")
          .arg(QDir::toNativeSeparators(shown_))
          .arg(packets)
          .arg(torn ? QStringLiteral(" (its unfinished last block left out)") : QString()),
      kOpenedNoteMs);
  if (!failure.isEmpty()) {
    ShowErrorReport(QStringLiteral("%1. The %2 packets before it are shown.").arg(failure).arg(packets));
  }
  emit readingEnded();
}

void CaptureOpenCommand::StopReading() {
  if (!load_) return;
  load_.reset();
  window_.statusBar()->showMessage(QStringLiteral("Reading %1 stopped").arg(QDir::toNativeSeparators(shown_)),
                                   kOpenedNoteMs);
  emit readingEnded();
}

}  // namespace tessaly
