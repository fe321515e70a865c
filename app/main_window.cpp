#include "app/main_window.h"

#include "presentation/error_report.h"
#include "presentation/ui_scale.h"
#include "app/capture_budget_watch.h"
#include "capture_file/capture_folder.h"
#include "app/capture_open_command.h"
#include "app/close_guard.h"
#include "app/frame_analysis.h"
#include "app/gateway_line_speed.h"
#include "app/reconnect_option.h"
#include "app/second_line.h"
#include "dialogs/second_line_dialog.h"
#include "app/line_views.h"
#include "app/log_save_command.h"
#include "app/main_toolbar.h"
#include "app/preferences_dialog.h"
#include "app/status_panels.h"
#include "views/packet_log_view.h"
#include "session/link_holder.h"
#include "settings/program_key.h"
#include "settings/registry.h"

#include <QAction>
#include <QCloseEvent>
#include <QDateTime>
#include <QDialog>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QToolButton>

namespace tessaly {
namespace {

// Room for the log's vertical scroll bar when its last column is stretched.
constexpr int kScrollBarMargin = 25;

// A moment as the local time of day, for a message.
QString ClockText(PacketTime at) {
  return QDateTime::fromMSecsSinceEpoch(at / 1000).toString(QStringLiteral("HH:mm:ss.zzz"));
}

}  // namespace

MainWindow::MainWindow(Data& links, QWidget* parent)
    : QMainWindow(parent), links_(links) {
  InstallMessageBoxReports();
  setObjectName(QStringLiteral("fmMain"));
  setWindowTitle(QString::fromLatin1(kApplicationTitle));
  setFont(DesignFont());
  setGeometry(Scaled(133), Scaled(149), Scaled(1114), Scaled(738));
  // Narrower than 800 or lower than 300 pixels is refused.
  setMinimumSize(Scaled(800), Scaled(300));

  resizeTimer_.setParent(this);
  resizeTimer_.setObjectName(QStringLiteral("ResizeTimer"));
  resizeTimer_.setInterval(200);
  CaptureReporter& reporter = *this;
  // Every packet goes to the log and, while a capture runs, to its file.
  recording_ = std::make_unique<RecordingSink>(log_, [](PacketTime start, const LineDescription& line) {
    return NewCapturePath(CaptureFolder(), start, line.where);
  });
  // With one line the first line's packets go straight to the recording
  // sink; a second line turns them into the merge at Start.
  firstSink_ = std::make_unique<LineSinkSwitch>(*recording_);
  session_ = std::make_unique<CaptureSession>(links_, *firstSink_, reporter);
  // With two lines, the file keeps the names the user gave them.
  recording_->SetLineSource([this] {
    LineDescription line = session_->Line();
    if (BothLinesRouted()) line.name = second_->Settings().FirstName();
    return line;
  });
  // The window's handlers, named after their events, are what the links call.
  session_->SetHandlers(LinkHandlers{
      [this](TCustomComPort& sender, int count) { ListModeRxChar(sender, count); },
      [this](TCustomSocket& sender, TCustomWinSocket& socket) { SocketRead(sender, socket); },
      [this](TCustomSocket& sender, TCustomWinSocket& socket, TErrorEvent event, int& errorCode) {
        SocketError(sender, socket, event, errorCode);
      }});

  toolbar_ = new MainToolbar(this);
  addToolBar(Qt::TopToolBarArea, toolbar_);
  menus_ = BuildMainMenus(*menuBar());
  logView_ = new PacketLogView(this);
  // New rows reach the grid at most every 80 ms while packets follow each
  // other closely: the grid repaints and scrolls once per batch instead of
  // once per packet, which keeps a busy line from eating the processor. A
  // packet after a quiet spell still shows at once.
  log_.SetBatching(0, PacketLogModel::kBatchInterval);
  logView_->SetLogModel(&log_);
  setCentralWidget(logView_);
  // The grid's own commands lead the Edit menu.
  menus_.edit->insertActions(menus_.miClearLog,
                             {logView_->CopyAction(), logView_->CopyBytesAction(),
                              logView_->SelectAllAction(), logView_->WholePacketAction()});
  menus_.edit->insertSeparator(menus_.miClearLog);
  saveCommand_ = std::make_unique<LogSaveCommand>(log_, *this, links_.StoreDirectory());
  saveCommand_->SetLinkName([this] {
    if (TcpTransportChosen()) {
      return QStringLiteral("%1:%2").arg(links_.Socket().Address()).arg(links_.Socket().Port());
    }
    return links_.ComPort().Port();
  });
  closeGuard_ = new CloseGuard(*this, log_, *saveCommand_, [this] { EndCaptureForClosing(); });
  // A capture recorded whole as it came is kept: closing asks nothing.
  closeGuard_->SetRecordedCheck([this] {
    const long long packets = log_.PacketCount() - static_cast<long long>(log_.Marks().size());
    return packets > 0 && recording_->RecordedPackets() >= packets;
  });
  connect(&log_, &QAbstractItemModel::modelReset, recording_.get(), &RecordingSink::ForgetPackets);
  openCommand_ = new CaptureOpenCommand(
      *this, log_, *closeGuard_, links_.StoreDirectory(), [this] { return Capturing(); },
      [this] { EndCaptureForClosing(); });
  saveCommand_->SetLine([this] {
    return openCommand_->Shown().isEmpty() ? InterfaceOf(session_->Line()) : openCommand_->ShownLine();
  });
  // A log of two lines live (not a file shown) saves the second as an
  // interface of its own.
  saveCommand_->SetSecondLine([this]() -> std::optional<CaptureInterface> {
    if (!openCommand_->Shown().isEmpty() || !log_.ShowsLines()) return std::nullopt;
    return InterfaceOf(second_->Session().Line());
  });
  panels_ = new StatusPanels(this);
  setStatusBar(panels_);
  second_ = new SecondLine(
      links_.StoreDirectory(), *recording_, *panels_,
      SecondLine::WindowHooks{
          [this](int imageIndex) {
            // The first line still open keeps Stop on offer.
            const bool firstOpen = connection_ && connection_->LinkOpen();
            toolbar_->SetStartImageIndex(imageIndex == ConnectionControl::kStartPicture && firstOpen
                                             ? ConnectionControl::kStopPicture
                                             : imageIndex);
          },
          [this](const QString& text) { ShowProgress(text); },
          [this](const QString& message, const QString& detail) { ReportLinkLost(message, detail); },
          [this](const QString& cause, PacketTime at, bool retrying) { ReportLinkDropped(cause, at, retrying); },
          [this](const QString& where, PacketTime at) { ReportLinkBack(where, at); }},
      this);
  recording_->SetLineSource(1, [this] {
    LineDescription line = second_->Session().Line();
    line.name = second_->Settings().SecondName();
    return line;
  });
  // Modbus marks, counts and panes beside the grid and the three panels.
  analysis_ = new FrameAnalysis(*this, log_, *logView_, *panels_, *session_);
  analysis_->SetShownLine([this](int row) -> std::optional<CaptureInterface> {
    if (openCommand_->Shown().isEmpty()) return std::nullopt;
    const CaptureInterface* line = openCommand_->ShownLines().LineOfRow(row);
    return line ? *line : CaptureInterface{};
  });
  lineViews_ = new LineViews(*this, log_, *logView_, *analysis_, *session_);
  analysis_->SetSecondLine([this] { return second_->Session().Line(); });
  saveCommand_->SetDecoding([this] { return lineViews_->Decoding(); });

  ConnectionView& view = *this;
  connection_ = std::make_unique<ConnectionControl>(*session_, view);
  auto* gatewaySpeed =
      new GatewayLineSpeed(*menus_.options, menus_.miIPSet, *session_, links_.StoreDirectory(), *this);
  new ReconnectOption(*menus_.options, gatewaySpeed->Item(), *session_, links_.StoreDirectory());
  miSecondLine_ = menus_.options->addAction(QStringLiteral("Second &line\u2026"));
  miSecondLine_->setObjectName(QStringLiteral("miSecondLine"));
  miSecondLine_->setMenuRole(QAction::NoRole);
  menus_.options->addSeparator();
  miPreferences_ = menus_.options->addAction(QStringLiteral("&Preferences\u2026"));
  miPreferences_->setObjectName(QStringLiteral("miPreferences"));
  miPreferences_->setMenuRole(QAction::NoRole);
  new CaptureBudgetWatch(*recording_, links_.StoreDirectory(),
                         [this](const QString& message, const QString& detail) {
                           StopRecordedCapture(message, detail);
                         },
                         this);
  ConnectCommands();

  // Fits the log's columns once the maximised window has its size.
  resizeTimer_.start();
  RunReportingErrors([this] { FormCreate(); });
}

MainWindow::~MainWindow() = default;

void MainWindow::AttachDialogs(QDialog* aboutBox, QDialog* comSet, QDialog* tcpSet) {
  aboutBox_ = aboutBox;
  comSet_ = comSet;
  tcpSet_ = tcpSet;
}

void MainWindow::ConnectCommands() {
  // Every command runs to completion on the user-interface thread; a failure
  // that escapes it goes to the error report and the event loop goes on.
  const auto guarded = [this](void (MainWindow::*handler)()) {
    return [this, handler] { RunReportingErrors([this, handler] { (this->*handler)(); }); };
  };
  connect(toolbar_->StartButton(), &QToolButton::clicked, this, guarded(&MainWindow::bStartClick));
  connect(toolbar_->TcpSettingsButton(), &QToolButton::clicked, this,
          guarded(&MainWindow::miIPSetClick));
  connect(toolbar_->SerialSettingsButton(), &QToolButton::clicked, this,
          guarded(&MainWindow::miComunicationClick));
  connect(toolbar_->AboutButton(), &QToolButton::clicked, this, guarded(&MainWindow::miAboutClick));

  connect(menus_.miExit, &QAction::triggered, this, guarded(&MainWindow::miExitClick));
  connect(menus_.miSerial, &QAction::triggered, this, guarded(&MainWindow::miSerialClick));
  connect(menus_.miTCP, &QAction::triggered, this, guarded(&MainWindow::miTCPClick));
  connect(menus_.miStartStop, &QAction::triggered, this, guarded(&MainWindow::bStartClick));
  connect(menus_.miComunication, &QAction::triggered, this,
          guarded(&MainWindow::miComunicationClick));
  connect(menus_.miIPSet, &QAction::triggered, this, guarded(&MainWindow::miIPSetClick));
  connect(menus_.miAbout, &QAction::triggered, this, guarded(&MainWindow::miAboutClick));
  connect(menus_.miSaveLog, &QAction::triggered, this, guarded(&MainWindow::miSaveLogClick));
  connect(menus_.miOpenCapture, &QAction::triggered, this, guarded(&MainWindow::miOpenCaptureClick));
  connect(miPreferences_, &QAction::triggered, this, guarded(&MainWindow::miPreferencesClick));
  connect(miSecondLine_, &QAction::triggered, this, guarded(&MainWindow::miSecondLineClick));
  connect(menus_.recentCaptures, &QMenu::aboutToShow, this,
          [this] { openCommand_->FillRecent(*menus_.recentCaptures); });
  // A copy too large for the clipboard offers the save in its place.
  connect(logView_, &PacketLogView::saveRequested, this, guarded(&MainWindow::miSaveLogClick));
  connect(menus_.miClearLog, &QAction::triggered, this, guarded(&MainWindow::miClearLogClick));
  connect(saveCommand_.get(), &LogSaveCommand::finished, this,
          [this] { menus_.miSaveLog->setEnabled(true); });
  // Queued: the report's box must not open inside the append that failed.
  connect(&log_, &PacketLogModel::memoryExhausted, this, &MainWindow::StopOnMemoryExhausted,
          Qt::QueuedConnection);
  connect(recording_.get(), &RecordingSink::recordingFailed, this, &MainWindow::StopOnRecordingFailure,
          Qt::QueuedConnection);
  // A disk that cannot keep up is said while it lasts: a crash then would
  // lose more than the usual second.
  connect(recording_.get(), &RecordingSink::fileBehind, this, [this](int seconds) {
    if (seconds == 0) {
      statusBar()->clearMessage();
      return;
    }
    statusBar()->showMessage(QStringLiteral("The capture file is %1 s behind the line: the disk is slow").arg(seconds));
  });
  // The log's packets live in an unnamed file beside the captures, so that a
  // long capture does not fill the memory; where that file cannot be made the
  // log works as before, in memory, and the user hears why once.
  connect(&log_, &PacketLogModel::backingUnavailable, this, [](const QString& problem) {
    ShowWarningReport(problem, QStringLiteral("The log is kept in memory instead, which a very long capture may fill."));
  }, Qt::QueuedConnection);
  log_.SetBackingDirectory(CaptureFolder());

  // The session's timer calls its own end of packet; the window's handler of
  // the same name stays the entry point for anyone else.
  connect(&resizeTimer_, &QTimer::timeout, this, [this] {
    resizeTimer_.stop();
    FitLogColumns();
  });
}

void MainWindow::FormCreate() {
  TComPort& port = links_.ComPort();
  Framer().SetIntervalFromBaudRate(port.LineBitsPerSecond());
  if (port.Port().isEmpty()) port.SetPort(QStringLiteral("COM1"));
  if (links_.Socket().Address().isEmpty()) links_.Socket().SetAddress(QStringLiteral("192.168.0.1"));
  // A stored choice of the wrong type fails here, and the rest of the
  // window's set-up is skipped: the failure is shown, the window still opens.
  ReadTransportChoice();
  logView_->InitLog();
  GetComPortStates();
}

void MainWindow::ReadTransportChoice() {
  TRegistry store(links_.StoreDirectory());
  store.SetRootKey(RegistryRoot::LocalMachine);
  store.OpenKey(kProgramKeyPath, true);
  const std::string transport = store.ReadString("Transport");
  if (transport == "TCP") menus_.miTCP->setChecked(true);
  if (transport == "COM") menus_.miSerial->setChecked(true);
}

void MainWindow::FormClose() {
  EndRecording();
  // Each step is reported on its own and the window closes all the same: a
  // store that refuses must never trap the user in a window that cannot be
  // closed.
  RunReportingErrors([this] { links_.Socket().Close(); });
  RunReportingErrors([this] { links_.ComPort().Close(); });
  RunReportingErrors([this] { second_->Links().Socket().Close(); });
  RunReportingErrors([this] { second_->Links().ComPort().Close(); });
  RunReportingErrors([this] {
    TRegistry store(links_.StoreDirectory());
    store.SetRootKey(RegistryRoot::LocalMachine);
    store.OpenKey(kProgramKeyPath, true);
    store.WriteString("Transport", TcpTransportChosen() ? "TCP" : "COM");
  });
}

void MainWindow::bStartClick() {
  // A second press while a gateway is still being reached is ignored, and
  // must not touch the capture that press began.
  if (connection_->Starting()) return connection_->StartStop();
  if (second_->Starting()) return;
  if (!Capturing() && !openCommand_->MayStartCapture()) return;
  // The file is ready before the link opens: bytes may come at once.
  if (!Capturing()) {
    RouteLines();
    recording_->BeginCapture();
  }
  if (BothLinesRouted()) {
    StartStopBothLines();
  } else {
    connection_->StartStop();
  }
  if (!Capturing()) EndRecording();
}

void MainWindow::RouteLines() {
  if (second_->On()) {
    firstSink_->SetTarget(second_->FirstLineInput());
    second_->PrepareMerge(*session_);
    connection_->SetLineName(second_->Settings().FirstName());
    log_.SetLineNames(second_->LineNames());
    log_.SetMasterLine(second_->Settings().masterLine);
    // Reconnecting is one choice for both lines.
    second_->Session().SetReconnect(session_->Reconnect());
    return;
  }
  firstSink_->SetTarget(*recording_);
  connection_->SetLineName({});
  log_.SetMasterLine(-1);
  // Rows of two lines already in the log keep their names.
  if (log_.PacketCount() == 0) log_.SetLineNames({});
}

bool MainWindow::BothLinesRouted() const { return &firstSink_->Target() != recording_.get(); }

void MainWindow::StartStopBothLines() {
  if (Capturing()) {
    if (connection_->LinkOpen()) connection_->StartStop();
    second_->Stop();
    return;
  }
  // Each line opens on its own: a failure of the first is reported by its
  // name, and the second still starts.
  connection_->StartStop();
  second_->Start();
}

bool MainWindow::Capturing() const {
  return connection_->LinkOpen() || session_->Retrying() || second_->Capturing();
}

void MainWindow::CloseAllLinks() {
  connection_->CloseLinks();
  second_->Connection().CloseLinks();
}

void MainWindow::miSecondLineClick() {
  // Which lines capture, and through what, cannot change under open links.
  if (Capturing()) return;
  if (secondLineDialog_ == nullptr) {
    secondLineDialog_ = new SecondLineDialog(second_->Links(), second_->Session().Framer(), this);
  }
  secondLineDialog_->Load(second_->Settings());
  if (secondLineDialog_->exec() != QDialog::Accepted) return;
  second_->Choose(secondLineDialog_->Chosen());
}

void MainWindow::miOpenCaptureClick() { openCommand_->Run(); }

bool MainWindow::OpenCapture(const QString& path) { return openCommand_->Open(path); }

void MainWindow::OfferUnfinishedCapture() { openCommand_->OfferUnfinished(); }

const QString& MainWindow::ShownCapture() const { return openCommand_->Shown(); }

bool MainWindow::ReadingCapture() const { return openCommand_->Reading(); }

void MainWindow::EndRecording() {
  if (BothLinesRouted()) {
    // Both lines' last packets end now and the merge hands over what it
    // holds: the file must have every packet before it closes.
    if (EndPacketTimer().isActive()) RunReportingErrors([this] { session_->EndOfPacket(); });
    second_->EndPackets();
    recording_->EndCapture(false);
    return;
  }
  // A packet read before the link closed ends at its silence, as always;
  // the file takes it, then closes.
  recording_->EndCapture(EndPacketTimer().isActive());
}

void MainWindow::ChooseTransport(QAction& item) {
  // The item has already inverted its own tick; choosing the ticked item
  // unticked it, and a transport must always be chosen.
  if (!item.isChecked()) item.setChecked(true);
}

void MainWindow::miSerialClick() {
  ChooseTransport(*menus_.miSerial);
  GetComPortStates();
}

void MainWindow::miTCPClick() {
  ChooseTransport(*menus_.miTCP);
  GetComPortStates();
}

void MainWindow::miComunicationClick() {
  // The serial settings cannot change under an open link.
  if (connection_->LinkOpen()) return;
  if (comSet_ != nullptr) comSet_->exec();
  GetComPortStates();
}

void MainWindow::miIPSetClick() {
  if (tcpSet_ != nullptr) tcpSet_->exec();
}

void MainWindow::miAboutClick() {
  if (aboutBox_ != nullptr) aboutBox_->exec();
}

void MainWindow::miExitClick() { close(); }

void MainWindow::miSaveLogClick() {
  // One save at a time; the item comes back when it ends.
  menus_.miSaveLog->setEnabled(false);
  saveCommand_->Run();
  if (!saveCommand_->Saving()) menus_.miSaveLog->setEnabled(true);
}

void MainWindow::miClearLogClick() {
  // A save under way keeps its own copy of the rows; capture goes on into the
  // emptied log.
  log_.Clear();
  // Names stay only over rows that two lines are still bringing.
  if (!(Capturing() && BothLinesRouted())) log_.SetLineNames({});
  // A file per log: the emptied log's packets go to a new one.
  recording_->NewFile();
}

void MainWindow::EndCaptureForClosing() {
  CloseAllLinks();
  // A packet still being collected joins the log now rather than after the
  // rows have been taken for saving.
  if (EndPacketTimer().isActive()) RunReportingErrors([this] { EndPacketTimerTimer(); });
  EndRecording();
}

void MainWindow::StopOnMemoryExhausted(int rows) {
  // The log keeps what it holds and refuses the rest: the link is closed so
  // nothing more is read, then the user is told once.
  CloseAllLinks();
  EndRecording();
  if (!log_.ExhaustionCause().isEmpty()) {
    // Not the memory but the disk under the log's file.
    ShowErrorReport(QStringLiteral("The disk cannot take more of the log: capture has stopped. The log holds %1 "
                                   "rows and can still be saved")
                        .arg(rows),
                    log_.ExhaustionCause());
    return;
  }
  ShowErrorReport(QStringLiteral("Out of memory: capture has stopped. The log holds %1 rows and "
                                 "can still be saved")
                      .arg(rows));
}

void MainWindow::StopOnRecordingFailure(const QString& message, bool capturing) {
  if (!capturing) {
    // No file could be made: the log goes on alone, and the user knows the
    // capture lives only in memory.
    ShowErrorReport(message, QStringLiteral("This capture is not being recorded to a file; save the log before "
                                            "closing to keep it."));
    return;
  }
  StopRecordedCapture(message, QStringLiteral("Capture has stopped. The file keeps every packet written before; "
                                              "the log holds them all and can still be saved."));
}

void MainWindow::StopRecordedCapture(const QString& message, const QString& detail) {
  // What is in the file stays readable; nothing more is read, so nothing
  // captured is missing from it.
  CloseAllLinks();
  EndRecording();
  ShowErrorReport(message, detail);
}

void MainWindow::miPreferencesClick() {
  PreferencesDialog dialog(links_.StoreDirectory(), this);
  dialog.exec();
}

void MainWindow::GetComPortStates() {
  connection_->GetComPortStates();
  second_->ShowStatus();
}

// The links are the link holder's for the whole run, so the senders are the
// ports the sources read.
void MainWindow::ListModeRxChar(TCustomComPort& /*sender*/, int /*count*/) { session_->SerialBytesAvailable(); }

void MainWindow::SocketRead(TCustomSocket& /*sender*/, TCustomWinSocket& /*socket*/) {
  session_->SocketBytesAvailable();
}

void MainWindow::SocketError(TCustomSocket&, TCustomWinSocket&, TErrorEvent, int& errorCode) {
  // Every TCP error is silenced here: a failed start is reported once, by
  // connection control, and a dropped link shows in the status bar.
  errorCode = 0;
}

void MainWindow::EndPacketTimerTimer() { session_->EndOfPacket(); }

void MainWindow::FitLogColumns() {
  logView_->setColumnWidth(
      1, std::max(0, logView_->width() - kScrollBarMargin - logView_->columnWidth(0)));
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  FitLogColumns();
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
  // Reaches the window only when no child took the key (the log grid, which
  // normally has the focus, takes the space key itself).
  if (event->key() == Qt::Key_Space) RunReportingErrors([this] { bStartClick(); });
  QMainWindow::keyPressEvent(event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // Unsaved rows or a running save are asked about first; the window may
  // stay open.
  if (!closeGuard_->MayClose()) {
    event->ignore();
    return;
  }
  FormClose();
  // A capture file takes its last packets on its own thread. A healthy
  // disk is given a moment (the window keeps painting); packets a stalled
  // one still holds are asked about, and the window may wait for them.
  if (recording_->Finishing()) {
    statusBar()->showMessage(QStringLiteral("Writing the last packets to the capture file"));
    if (!recording_->WaitForFinishing(kCloseWait) && !MayLoseUnfinishedPackets()) {
      connect(recording_.get(), &RecordingSink::finishingDone, this, &QWidget::close, Qt::SingleShotConnection);
      event->ignore();
      return;
    }
    statusBar()->clearMessage();
  }
  event->accept();
}

bool MainWindow::MayLoseUnfinishedPackets() {
  QMessageBox box(QMessageBox::Warning, QString::fromLatin1(kApplicationTitle),
                  QStringLiteral("The capture file is still being written: %1 packets are not in it yet.")
                      .arg(recording_->UnfinishedPackets()),
                  QMessageBox::NoButton, this);
  box.setObjectName(QStringLiteral("UnfinishedFileQuestion"));
  box.setInformativeText(QStringLiteral(
      "The disk is slow. Wait, and the window closes once they are written; or close now, and the file ends "
      "before them (it is offered again at the next start)."));
  QPushButton* wait = box.addButton(QStringLiteral("&Wait"), QMessageBox::AcceptRole);
  box.addButton(QStringLiteral("&Close now"), QMessageBox::DestructiveRole);
  box.setDefaultButton(wait);
  box.exec();
  return box.clickedButton() != wait;
}

bool MainWindow::SerialTransportChosen() const { return menus_.miSerial->isChecked(); }

bool MainWindow::TcpTransportChosen() const { return menus_.miTCP->isChecked(); }

void MainWindow::ShowProgress(const QString& text) {
  if (text.isEmpty()) {
    panels_->clearMessage();
    if (busyPointer_) QGuiApplication::restoreOverrideCursor();
    busyPointer_ = false;
  } else {
    panels_->showMessage(text);
    if (!busyPointer_) QGuiApplication::setOverrideCursor(Qt::BusyCursor);
    busyPointer_ = true;
  }
}

void MainWindow::LinkLost(const QString& message, const QString& detail) {
  ReportLinkLost(connection_->Named(message), detail);
}

void MainWindow::LinkDropped(const QString& cause, PacketTime at, bool retrying) {
  ReportLinkDropped(connection_->Named(cause), at, retrying);
}

void MainWindow::LinkBack(const QString& where, PacketTime at) { ReportLinkBack(connection_->Named(where), at); }

void MainWindow::ReportLinkLost(const QString& message, const QString& detail) {
  // The session has closed the link: the idle state shows first, then why.
  // The other line, still capturing, keeps the file going.
  connection_->ShowRealLinkState();
  const bool otherLineCaptures = Capturing();
  if (!otherLineCaptures) EndRecording();
  ShowErrorReport(message, detail);
}

void MainWindow::ReportLinkDropped(const QString& cause, PacketTime at, bool retrying) {
  connection_->ShowRealLinkState();
  const QString text = QStringLiteral("Link lost at %1: %2").arg(ClockText(at), cause);
  const QString mark = QStringLiteral("\u2014 ") + text +
                       (retrying ? QStringLiteral(" (reconnecting every second)") : QString()) + QStringLiteral(" \u2014");
  log_.AppendMark(mark, at);
  recording_->AppendMark(mark);
  panels_->showMessage(text + (retrying ? QStringLiteral(". Reconnecting\u2026") : QString()));
}

void MainWindow::ReportLinkBack(const QString& where, PacketTime at) {
  connection_->ShowRealLinkState();
  const QString text = QStringLiteral("Link back at %1: %2").arg(ClockText(at), where);
  const QString mark = QStringLiteral("\u2014 ") + text + QStringLiteral(" \u2014");
  log_.AppendMark(mark, at);
  recording_->AppendMark(mark);
  panels_->showMessage(text, 10'000);
}

void MainWindow::SetStartPicture(int imageIndex) {
  // The second line still capturing keeps Stop on offer.
  const bool secondOpen = second_ != nullptr && second_->Capturing();
  toolbar_->SetStartImageIndex(imageIndex == ConnectionControl::kStartPicture && secondOpen
                                   ? ConnectionControl::kStopPicture
                                   : imageIndex);
}

void MainWindow::ShowLinkStatus(const QString& state, const QString& settings) {
  panels_->SetLinkState(state);
  panels_->SetLinkSettings(settings);
}

void MainWindow::ShowTcpStartFailure(const QString& detail) {
  // No parent: the box is centred on the screen.
  QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"),
                  connection_->Named(QStringLiteral("TCP Error. Can't establish connection with remote device.  ")),
                  QMessageBox::Ok);
  box.setObjectName(QStringLiteral("TcpStartFailure"));
  box.setInformativeText(detail);
  box.exec();
}

}  // namespace tessaly
