#pragma once

#include "app/line_sink_switch.h"
#include "app/main_menus.h"
#include "core/packet_framer.h"
#include "log/packet_log_model.h"
#include "session/connection_control.h"
#include "session/capture_reporter.h"
#include "session/capture_session.h"
#include "session/recording_sink.h"

#include <QMainWindow>
#include <QTimer>

#include <chrono>
#include <memory>

class QDialog;

namespace tessaly {

class CaptureOpenCommand;
class CloseGuard;
class Data;
class FrameAnalysis;
class LineViews;
class LogSaveCommand;
class MainToolbar;
class PacketLogView;
class SecondLine;
class SecondLineDialog;
class StatusPanels;

// The program's only primary window: toolbar, menus, the packet log and the
// status bar. It owns the capture session, whose packets go to its log, and
// shows what connection control decides and what the session reports.
class MainWindow : public QMainWindow, private ConnectionView, private CaptureReporter {
  Q_OBJECT

 public:
  // How long closing waits for capture files to finish before it asks
  // about the packets not in them.
  static constexpr std::chrono::milliseconds kCloseWait{2000};

  explicit MainWindow(Data& links, QWidget* parent = nullptr);
  ~MainWindow() override;

  // The dialogs are created after the window; until attached, their
  // commands do nothing.
  void AttachDialogs(QDialog* aboutBox, QDialog* comSet, QDialog* tcpSet);

  // Handlers, named after their control and event.
  void bStartClick();
  void miSerialClick();
  void miTCPClick();
  void miComunicationClick();
  void miIPSetClick();
  void miAboutClick();
  void miExitClick();
  void miSaveLogClick();
  void miOpenCaptureClick();
  void miPreferencesClick();
  void miClearLogClick();
  void miSecondLineClick();
  void GetComPortStates();
  void ListModeRxChar(TCustomComPort& sender, int count);
  void SocketRead(TCustomSocket& sender, TCustomWinSocket& socket);
  void SocketError(TCustomSocket& sender, TCustomWinSocket& socket, TErrorEvent event,
                   int& errorCode);
  void EndPacketTimerTimer();

  // Shows the capture file in the log in place of its rows; a running
  // capture is asked about and ended first. A file that cannot be shown is
  // reported and the log stays as it was. True when it is shown.
  bool OpenCapture(const QString& path);
  // At start-up: offers the newest capture a crash or a kill cut off.
  void OfferUnfinishedCapture();
  // The capture file the log shows, empty while it shows live capture.
  const QString& ShownCapture() const;
  // True while the rest of a long capture file is read into the log.
  bool ReadingCapture() const;

  PacketFramer& Framer() { return session_->Framer(); }
  CaptureSession& Session() { return *session_; }
  RecordingSink& Recording() { return *recording_; }
  PacketLogModel& Log() { return log_; }
  PacketLogView& LogView() { return *logView_; }
  MainToolbar& Toolbar() { return *toolbar_; }
  StatusPanels& Panels() { return *panels_; }
  const MainMenus& Menus() const { return menus_; }
  QTimer& EndPacketTimer() { return session_->EndPacketTimer(); }
  ConnectionControl& Connection() { return *connection_; }
  FrameAnalysis& Analysis() { return *analysis_; }
  LineViews& Views() { return *lineViews_; }
  LogSaveCommand& SaveCommand() { return *saveCommand_; }
  CloseGuard& Closing() { return *closeGuard_; }
  SecondLine& Second() { return *second_; }
  // The second line's dialog, once it has been opened.
  SecondLineDialog* SecondLineSettingsDialog() const { return secondLineDialog_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void FormCreate();
  void FormClose();
  void ReadTransportChoice();
  void FitLogColumns();
  void ConnectCommands();
  static void ChooseTransport(QAction& item);
  void StopOnMemoryExhausted(int rows);
  void StopOnRecordingFailure(const QString& message, bool capturing);
  // Capture must end for the file's sake (the disk): the links close, the
  // file ends, then the user is told once.
  void StopRecordedCapture(const QString& message, const QString& detail);
  // The capture's file ends with the capture; a packet still being
  // collected joins it first.
  void EndRecording();
  // Asked when closing finds a capture file still being written: true to
  // close without its last packets.
  bool MayLoseUnfinishedPackets();
  bool Capturing() const;
  // At Start: both lines into the merge and named in the log, or the first
  // line straight to the log as with one line.
  void RouteLines();
  bool BothLinesRouted() const;
  // Start/Stop over both lines: a line that fails is reported by its name
  // and the other goes on.
  void StartStopBothLines();
  void CloseAllLinks();
  // What a line reports, with its name where two lines capture.
  void ReportLinkLost(const QString& message, const QString& detail);
  void ReportLinkDropped(const QString& cause, PacketTime at, bool retrying);
  void ReportLinkBack(const QString& where, PacketTime at);
  // The user chose to close after a save: no packet may arrive after it.
  void EndCaptureForClosing();

  // ConnectionView
  bool SerialTransportChosen() const override;
  bool TcpTransportChosen() const override;
  void SetStartPicture(int imageIndex) override;
  void ShowLinkStatus(const QString& state, const QString& settings) override;
  void ShowTcpStartFailure(const QString& detail) override;
  void ShowProgress(const QString& text) override;
  // CaptureReporter
  void LinkLost(const QString& message, const QString& detail) override;
  void LinkDropped(const QString& cause, PacketTime at, bool retrying) override;
  void LinkBack(const QString& where, PacketTime at) override;

  Data& links_;
  PacketLogModel log_;
  QTimer resizeTimer_;
  std::unique_ptr<RecordingSink> recording_;
  std::unique_ptr<LineSinkSwitch> firstSink_;
  std::unique_ptr<CaptureSession> session_;
  SecondLine* second_;  // owned by the window
  SecondLineDialog* secondLineDialog_ = nullptr;
  QAction* miSecondLine_;
  MainToolbar* toolbar_;
  PacketLogView* logView_;
  StatusPanels* panels_;
  MainMenus menus_;
  std::unique_ptr<ConnectionControl> connection_;
  FrameAnalysis* analysis_;  // owned by the window
  LineViews* lineViews_;     // owned by the window
  std::unique_ptr<LogSaveCommand> saveCommand_;
  CloseGuard* closeGuard_;  // owned by the window
  QDialog* aboutBox_ = nullptr;
  QDialog* comSet_ = nullptr;
  QDialog* tcpSet_ = nullptr;
  bool busyPointer_ = false;
  CaptureOpenCommand* openCommand_;  // owned by the window
  QAction* miPreferences_;
};

}  // namespace tessaly
