#include "app/capture_open_command.h"

#include "app/capture_folder.h"
#include "app/capture_open.h"
#include "app/close_guard.h"
#include "capture/packet_log_model.h"
#include "capture_file/capture_file_writer.h"
#include "presentation/error_report.h"

#include <QAction>
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
      endCapture_(std::move(endCapture)) {}

void CaptureOpenCommand::Run() {
  const QString path =
      QFileDialog::getOpenFileName(&window_, QStringLiteral("Open capture"), CaptureFolder(),
                                   QStringLiteral("Captures (*.pcapng *.pcap *.cap *.ntar);;All files (*)"));
  if (!path.isEmpty()) Open(path);
}

bool CaptureOpenCommand::Open(const QString& path) {
  // Read first: a file that cannot be shown leaves the log and a running
  // capture untouched.
  CaptureFileContents contents;
  try {
    contents = ReadCaptureForLog(path);
  } catch (const CaptureFileError& failure) {
    ShowErrorReport(QString::fromStdString(failure.what()));
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
  Show(path, contents);
  return true;
}

void CaptureOpenCommand::OfferUnfinished() {
  const std::optional<QString> path = UnfinishedCapture(CaptureFolder());
  if (!path) return;
  // Offered once: whatever the answer, the next start asks no more.
  ForgetUnfinished(*path);
  CaptureFileContents contents;
  try {
    contents = ReadCaptureForLog(*path);
  } catch (const CaptureFileError& failure) {
    ShowErrorReport(QString::fromStdString(failure.what()));
    return;
  }
  if (contents.packets.empty()) return;
  if (AskYes(window_, UnfinishedCaptureQuestion(contents), QMessageBox::No)) Show(*path, contents);
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
  log_.Clear();
  shown_.clear();
  shownLine_ = {};
  window_.setWindowTitle(QString::fromLatin1(kApplicationTitle));
  return true;
}

void CaptureOpenCommand::Show(const QString& path, const CaptureFileContents& contents) {
  ShowCaptureInLog(contents, log_);
  shown_ = QFileInfo(path).absoluteFilePath();
  shownLine_ = contents.interfaces.empty() ? CaptureInterface{} : contents.interfaces.front().link;
  // The rows are the file's: closing has nothing to ask.
  closeGuard_.MarkKept(shown_);
  window_.setWindowTitle(
      QStringLiteral("%1 \u2014 %2").arg(QFileInfo(path).fileName(), QString::fromLatin1(kApplicationTitle)));
  window_.statusBar()->showMessage(
      QStringLiteral("Opened %1: %2 packets%3")
          .arg(QDir::toNativeSeparators(shown_))
          .arg(contents.packets.size())
          .arg(contents.torn ? QStringLiteral(" (its unfinished last block left out)") : QString()),
      kOpenedNoteMs);
  RunReportingErrors([this] { RememberRecentCapture(storeDirectory_, shown_); });
}

}  // namespace tessaly
