#pragma once

#include "session/connection_control.h"
#include "session/link_holder.h"
#include "session/second_line_settings.h"
#include "session/capture_reporter.h"
#include "session/capture_session.h"
#include "session/line_merge.h"

#include <QObject>

#include <functional>

namespace tessaly {

class StatusPanels;

// The second line captured beside the first: its own link holder (values
// stored with the suffix "2"), its own capture session and framer, its own
// Start/Stop under the window's, its two status panels, and the merge that
// puts both lines' packets into one sequence for the log. What it reports
// names its line; the window decides what the picture and the file do.
class SecondLine : public QObject, private ConnectionView, private CaptureReporter {
  Q_OBJECT

 public:
  // What the window does with this line's reports.
  struct WindowHooks {
    // The picture this line's control asks for; the window weighs it
    // against the first line.
    std::function<void(int imageIndex)> setStartPicture;
    std::function<void(const QString& text)> showProgress;
    // The line went away by itself (it is closed); message already named.
    std::function<void(const QString& message, const QString& detail)> linkLost;
    std::function<void(const QString& cause, PacketTime at, bool retrying)> linkDropped;
    std::function<void(const QString& where, PacketTime at)> linkBack;
  };

  // merged: where both lines' packets go, in order (the recording sink).
  SecondLine(const std::filesystem::path& storeDirectory, PacketSink& merged, StatusPanels& panels,
             WindowHooks hooks, QObject* parent = nullptr);
  ~SecondLine() override;

  const SecondLineSettings& Settings() const { return settings_; }
  bool On() const { return settings_.on; }
  // Takes the user's choice and stores it (throws the store's failure after
  // taking it: the choice holds for this run all the same).
  void Choose(const SecondLineSettings& settings);
  QStringList LineNames() const { return {settings_.FirstName(), settings_.SecondName()}; }

  Data& Links() { return links_; }
  CaptureSession& Session() { return session_; }
  ConnectionControl& Connection() { return control_; }
  LineMerge& Merge() { return merge_; }

  // Where the first line's packets go while both lines capture.
  PacketSink& FirstLineInput() { return merge_.Input(0); }
  // Before both lines start: the tie window from both intervals, and the
  // first line's progress.
  void PrepareMerge(CaptureSession& first);

  // Opens this line (a failure is reported, named, and the first line goes
  // on), and closes it.
  void Start();
  void Stop();
  bool Capturing() const;
  bool LinkOpen() const { return control_.LinkOpen(); }
  bool Starting() const { return control_.Starting(); }
  // The packet still being collected ends now and every held packet goes
  // on: the capture's file is about to end.
  void EndPackets();

  // The two panels, shown while the line is on.
  void ShowStatus();

 private:
  // ConnectionView
  bool SerialTransportChosen() const override { return !settings_.tcp; }
  bool TcpTransportChosen() const override { return settings_.tcp; }
  void SetStartPicture(int imageIndex) override;
  void ShowLinkStatus(const QString& state, const QString& settings) override;
  void ShowTcpStartFailure(const QString& detail) override;
  void ShowProgress(const QString& text) override;
  // CaptureReporter
  void LinkLost(const QString& message, const QString& detail) override;
  void LinkDropped(const QString& cause, PacketTime at, bool retrying) override;
  void LinkBack(const QString& where, PacketTime at) override;

  std::filesystem::path storeDirectory_;
  StatusPanels& panels_;
  WindowHooks hooks_;
  SecondLineSettings settings_;
  Data links_;
  LineMerge merge_;
  CaptureSession session_;
  ConnectionControl control_;
};

}  // namespace tessaly
