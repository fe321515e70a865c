#include "app/second_line.h"

#include "app/status_panels.h"
#include "presentation/failure_report.h"

#include <QMessageBox>

namespace tessaly {

SecondLine::SecondLine(const std::filesystem::path& storeDirectory, PacketSink& merged, StatusPanels& panels,
                       WindowHooks hooks, QObject* parent)
    : QObject(parent),
      storeDirectory_(storeDirectory),
      panels_(panels),
      hooks_(std::move(hooks)),
      settings_(ReadSecondLineSettings(storeDirectory)),
      links_(storeDirectory, QString::fromLatin1(kSecondLineSuffix)),
      merge_(merged),
      session_(links_, merge_.Input(1), *this),
      control_(session_, *this) {
  links_.DataModuleCreate();
  // As the first line starts: the interval from the port's speed, an
  // address to show where none was stored.
  session_.Framer().SetIntervalFromBaudRate(links_.ComPort().LineBitsPerSecond());
  if (links_.Socket().Address().isEmpty()) links_.Socket().SetAddress(QStringLiteral("192.168.0.1"));
  control_.SetLineName(settings_.SecondName());
}

SecondLine::~SecondLine() = default;

void SecondLine::Choose(const SecondLineSettings& settings) {
  settings_ = settings;
  control_.SetLineName(settings_.SecondName());
  ShowStatus();
  WriteSecondLineSettings(storeDirectory_, settings_);
}

void SecondLine::PrepareMerge(CaptureSession& first) {
  merge_.SetProgress(0, [&first] { return first.CompleteUntil(); });
  merge_.SetProgress(1, [this] { return session_.CompleteUntil(); });
}

void SecondLine::Start() {
  if (!control_.LinkOpen()) control_.StartStop();
}

void SecondLine::Stop() {
  if (control_.LinkOpen()) control_.StartStop();
}

bool SecondLine::Capturing() const { return control_.LinkOpen() || session_.Retrying(); }

void SecondLine::EndPackets() {
  if (session_.EndPacketTimer().isActive()) RunReportingErrors([this] { session_.EndOfPacket(); });
  merge_.Flush();
}

void SecondLine::ShowStatus() {
  panels_.ShowSecondLine(settings_.on);
  if (settings_.on) control_.GetComPortStates();
}

void SecondLine::SetStartPicture(int imageIndex) {
  if (hooks_.setStartPicture) hooks_.setStartPicture(imageIndex);
}

void SecondLine::ShowLinkStatus(const QString& state, const QString& settings) {
  panels_.SetSecondLinkState(control_.Named(state));
  panels_.SetSecondLinkSettings(settings);
}

void SecondLine::ShowTcpStartFailure(const QString& detail) {
  // The first line's box, named: the user must know which line failed.
  QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"),
                  control_.Named(QStringLiteral("TCP Error. Can't establish connection with remote device.  ")),
                  QMessageBox::Ok);
  box.setObjectName(QStringLiteral("TcpStartFailure"));
  box.setInformativeText(detail);
  box.exec();
}

void SecondLine::ShowProgress(const QString& text) {
  if (hooks_.showProgress) hooks_.showProgress(text.isEmpty() ? text : control_.Named(text));
}

void SecondLine::LinkLost(const QString& message, const QString& detail) {
  control_.ShowRealLinkState();
  if (hooks_.linkLost) hooks_.linkLost(control_.Named(message), detail);
}

void SecondLine::LinkDropped(const QString& cause, PacketTime at, bool retrying) {
  control_.ShowRealLinkState();
  if (hooks_.linkDropped) hooks_.linkDropped(control_.Named(cause), at, retrying);
}

void SecondLine::LinkBack(const QString& where, PacketTime at) {
  control_.ShowRealLinkState();
  if (hooks_.linkBack) hooks_.linkBack(control_.Named(where), at);
}

}  // namespace tessaly
