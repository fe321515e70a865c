#pragma once

#include "session/capture_session.h"

#include <QString>

#include <filesystem>
#include <functional>

namespace tessaly {

class Data;

// What connection control needs of the window that shows it: the transport
// choice, the Start/Stop picture, the two status panels and the report of a
// failed TCP start.
class ConnectionView {
 public:
  virtual ~ConnectionView() = default;
  virtual bool SerialTransportChosen() const = 0;
  virtual bool TcpTransportChosen() const = 0;
  virtual void SetStartPicture(int imageIndex) = 0;
  virtual void ShowLinkStatus(const QString& state, const QString& settings) = 0;
  // Modal; returns when the user has closed the message. detail says what
  // the attempt concerned and why it failed.
  virtual void ShowTcpStartFailure(const QString& detail) = 0;
  // A passing note over the status panels while a connection is being made
  // ("Connecting to 10.0.0.5:502…"), with the busy pointer; the empty text
  // takes both away.
  virtual void ShowProgress(const QString& text) = 0;
};

// The user's one switch over the links: Start opens the link of the chosen
// transport, Stop closes whatever is open, and the status shows the result.
class ConnectionControl : public QObject {
  Q_OBJECT

 public:
  // Image-list indexes of the Start/Stop picture.
  static constexpr int kStartPicture = 8;  // no link open: offers Start
  static constexpr int kStopPicture = 9;   // a link open: offers Stop
  static constexpr int kTcpWaitPasses = 200;
  static constexpr int kTcpWaitSleepMs = 10;

  ConnectionControl(CaptureSession& session, ConnectionView& view, QObject* parent = nullptr);

  // Start/Stop. Ignored while a TCP start is still waiting for its
  // connection (the wait processes events, so a second command could
  // otherwise open the link twice).
  void StartStop();

  // Refreshes both status panels from the transport choice and link state.
  void GetComPortStates();
  // The same, and the Start/Stop picture as the links are.
  void ShowRealLinkState();

  bool LinkOpen() const;

  // Closes both links whatever their state, each failure reported on its
  // own, and shows what is left: for when capture must end without the user
  // asking (the log can take no more).
  void CloseLinks();
  bool Starting() const { return starting_; }

  // With two lines captured together, each control names its line in what
  // it reports ("B: Unable to open com port"); empty (one line): the
  // messages are exactly the link's own.
  void SetLineName(QString name) { lineName_ = std::move(name); }
  const QString& LineName() const { return lineName_; }
  // text, after the line's name where one is set.
  QString Named(const QString& text) const;

  // Where the processes holding a serial device are looked up (a made-up
  // tree in tests).
  void SetProcRoot(std::filesystem::path root) { procRoot_ = std::move(root); }

  // How Start sleeps (the TCP wait's passes, the pause after a failed start):
  // the thread's own sleep unless a test gives a clock of its own.
  using Sleeper = std::function<void(int milliseconds)>;
  void SetSleeper(Sleeper sleeper) { sleep_ = std::move(sleeper); }

 private:
  void Start();
  bool OpenSerialPort();
  void StartTcp();
  QString OtherHolders(const QString& portName) const;
  void Stop();
  void WaitForTcpConnection();
  void BindHandlers();

  CaptureSession& session_;
  Data& links_;
  ConnectionView& view_;
  Sleeper sleep_;
  bool starting_ = false;
  // The error number the TCP attempt of the current Start ended with.
  int tcpFailureCode_ = 0;
  std::filesystem::path procRoot_{"/proc"};
  QString lineName_;
};

}  // namespace tessaly
