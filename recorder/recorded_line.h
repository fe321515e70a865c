#pragma once

#include "core/packet_framer.h"
#include "session/link_holder.h"
#include "recorder/record_options.h"
#include "session/capture_reporter.h"
#include "session/capture_session.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <optional>
#include <string>

namespace tessaly::record {

// What a line tells the recording it belongs to.
struct LineEvents {
  // A sentence for the user (standard error).
  std::function<void(const QString& text)> say;
  // The line is gone for good (no --reconnect): the recording decides
  // whether to go on with its other line.
  std::function<void()> gone;
  // A note for the capture file (a gap in the capture).
  std::function<void(const std::string& text)> note;
};

// One line a recording listens to: its link, opened with the settings the
// command line gives, the capture session that cuts its packets and hands
// them to the sink, and what happens when the link goes away (told, and
// with --reconnect opened again every second, the gap noted in the file).
class RecordedLine : public QObject, public CaptureReporter {
  Q_OBJECT

 public:
  // name: empty when the recording has one line; otherwise what messages
  // call the line.
  RecordedLine(const LineOptions& options, bool fromSettings, bool reconnect, QString name, PacketSink& sink,
               LineEvents events, QObject* parent = nullptr);

  // Opens the serial port, or starts the connection to the gateway; false
  // when that fails at once (said unless quietFailure). With reconnect, a
  // line that fails at first is tried again every second.
  bool Open(bool quietFailure);
  // Closes the link (every byte read reaches the framing first) and ends
  // the packet that runs then.
  void Close();
  // Ends the packet that runs now, stamped where its silence would end it.
  void EndRunningPacket();
  // Begins the tries of a line that failed to open at first.
  void StartGap() { StartGap(lostMessage_); }

  // The line to be opened, as the file's link description tells it.
  LineDescription PlannedLine();
  CaptureSession& Session() { return session_; }
  const QString& Name() const { return name_; }

  // CaptureReporter
  void LinkLost(const QString& message, const QString& detail) override;
  // A serial loss comes through LinkLost and a gateway's end through the
  // line's own watch of the link, each told and retried there: the
  // session's notes of the same events add nothing here.
  void LinkDropped(const QString&, PacketTime, bool) override {}
  void LinkBack(const QString&, PacketTime) override {}

 private:
  void ApplySettings(const LineOptions& options);
  QString Where();
  void TcpFailed(int errorCode);
  void TcpClosedByGateway();
  // The open link went away: gone for good, or with --reconnect tried
  // again every second and the gap noted in the file once it is back.
  void LinkGone(const QString& message);
  void StartGap(const QString& message);
  // Keeps why opening failed, unless the line is in a gap already.
  void NoteFailure(const QString& message);
  void TryReconnect();
  void EndGap();
  void Say(const QString& text);

  bool fromSettings_;
  bool reconnect_;
  QString name_;
  LineEvents events_;
  Data links_;
  CaptureSession session_;
  QTimer retry_;
  bool tcp_ = false;
  bool connected_ = false;  // the link has been open once (TCP: connected)
  bool closingOnPurpose_ = false;
  bool closed_ = false;
  std::optional<PacketTime> gapSince_;
  QString lostMessage_;
};

}  // namespace tessaly::record
