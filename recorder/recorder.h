#pragma once

#include "capture/packet_framer.h"
#include "links/link_holder.h"
#include "recorder/packet_lines.h"
#include "recorder/record_options.h"
#include "recorder/rotating_capture.h"
#include "recorder/status_line.h"
#include "session/capture_reporter.h"
#include "session/capture_session.h"

#include <QObject>
#include <QTimer>

#include <memory>
#include <optional>

namespace tessaly::record {

enum ExitCode : int {
  kExitStopped = 0,
  kExitBadArguments = 1,
  kExitLinkFailure = 2,
  kExitFileFailure = 3,
};

// One recording from start to stop, with no window: the capture session on
// the chosen link, its packets to a capture file or to lines on standard
// output, the status line, and the ways a recording ends (a signal, an
// autostop, a link or file that fails). Run it from a Qt Core application.
class Recorder : public QObject, public PacketSink, public CaptureReporter {
  Q_OBJECT

 public:
  explicit Recorder(RecordOptions options, QObject* parent = nullptr);
  ~Recorder() override;

  // Opens the output and the link; false (with ExitCode() set and the reason
  // said) when either fails.
  bool Start();
  // Ends the packet that runs, closes the link and the file, and ends the
  // event loop with the code (a file that fails to close makes it 3).
  void Stop(int exitCode);
  int Exit() const { return exitCode_; }
  const RecordCounts& Counts() const { return counts_; }

  // PacketSink
  void AppendPacket(const std::uint8_t* bytes, int count, PacketTime endedAt) override;
  void AppendPacket(const std::uint8_t* bytes, int count, const PacketTiming& timing) override;
  // CaptureReporter
  void LinkLost(const QString& message, const QString& detail) override;
  // A serial loss comes through LinkLost and a gateway's end through the
  // recorder's own watch of the link, each told and retried there: the
  // session's notes of the same events add nothing here.
  void LinkDropped(const QString&, PacketTime, bool) override {}
  void LinkBack(const QString&, PacketTime) override {}

 signals:
  void finished(int exitCode);

 private:
  void ApplyLineSettings();
  // The line to be opened, as the file's link description tells it.
  LineDescription PlannedLine();
  QString Where();
  bool OpenOutput();
  // Opens the serial port, or starts the connection to the gateway; false
  // when that fails at once (said unless quietFailure).
  bool OpenLink(bool quietFailure);
  void TcpFailed(int errorCode);
  void TcpClosedByGateway();
  // The open link went away: stop with 2, or with --reconnect try again
  // every second and note the gap in the file once it is back.
  void LinkGone(const QString& message);
  void StartGap(const QString& message);
  void TryReconnect();
  void EndGap();
  void Tick();
  // Ends the packet that runs now, stamped where its silence would end it.
  void EndRunningPacket();
  void WriteOut(const std::string& text);
  void Say(const QString& text);
  // A failure of the output: said once, and the recording stops with 3.
  void FileFailed(const char* message);

  RecordOptions options_;
  Data links_;
  CaptureSession session_;
  std::unique_ptr<RotatingCapture> capture_;
  std::unique_ptr<PacketLines> lines_;
  QTimer tick_;
  QTimer reconnect_;
  int ticks_ = 0;
  RecordCounts counts_;
  StatusLine status_;
  bool showStatus_ = false;
  bool stopping_ = false;
  bool tcp_ = false;
  bool connected_ = false;  // the link has been open once (TCP: connected)
  bool closingOnPurpose_ = false;
  bool failed_ = false;
  int exitCode_ = kExitStopped;
  std::chrono::steady_clock::time_point startedAt_;
  std::optional<PacketTime> gapSince_;
  QString lostMessage_;
};

}  // namespace tessaly::record
