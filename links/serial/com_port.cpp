#include "links/serial/com_port.h"

#include <QMetaObject>
#include <QScopedValueRollback>

#include <cerrno>
#include <exception>
#include <utility>

#include "presentation/failure_report.h"
#include "links/serial/com_event_watch.h"
#include "links/serial/com_text.h"
#include "links/serial/port_names.h"
#include "links/serial/setting_change.h"

namespace tessaly {

TCustomComPort::TCustomComPort(QObject* parent) : QObject(parent) {}

TCustomComPort::~TCustomComPort() {
  // Whoever bound the handlers may be gone by now: no bytes are handed out.
  OnRxChar = nullptr;
  try {
    Close();
  } catch (...) {
    // Closing cannot be refused here; the members below end the watch and
    // close the device all the same.
  }
  watch_.reset();
  device_.Close();
}

void TCustomComPort::SetPort(const QString& name) {
  if (name == port_) return;
  port_ = name;
  if (!connected_) return;
  Close();
  Open();
}

void TCustomComPort::SetBaudRate(TBaudRate rate) {
  ChangeSetting(baudRate_, rate, [this] { ApplyLineSettings(); });
}
void TCustomComPort::SetCustomBaudRate(std::int32_t bitsPerSecond) {
  ChangeSetting(customBaudRate_, bitsPerSecond, [this] { ApplyLineSettings(); });
}
void TCustomComPort::SetDataBits(TDataBits bits) {
  ChangeSetting(dataBits_, bits, [this] { ApplyLineSettings(); });
}
void TCustomComPort::SetStopBits(TStopBits bits) {
  ChangeSetting(stopBits_, bits, [this] { ApplyLineSettings(); });
}
void TCustomComPort::SetDiscardNull(bool discard) {
  ChangeSetting(discardNull_, discard, [this] { ApplyLineSettings(); });
}
void TCustomComPort::SetEventChar(std::uint8_t character) {
  ChangeSetting(eventChar_, character, [this] { ApplyLineSettings(); });
}

void TCustomComPort::SetConnected(bool connected) {
  if (connected) {
    Open();
  } else {
    Close();
  }
}

void TCustomComPort::ResumeApply() {
  if (updateHold_ > 0) --updateHold_;
  if (updateHold_ == 0) ApplyAll();
}

void TCustomComPort::ApplyLineSettings() {
  if (CanApply()) device_.SetLine(LineSettings());
}

void TCustomComPort::ApplyTimeouts() {
  if (CanApply()) {
    device_.SetTimeouts({timeouts_.ReadInterval(), timeouts_.ReadTotalMultiplier(), timeouts_.ReadTotalConstant()});
  }
}

void TCustomComPort::ApplyQueueSizes() {
  if (CanApply()) device_.SetQueueSizes(buffer_.InputSize(), buffer_.OutputSize());
}

void TCustomComPort::ApplyAll() {
  ApplyQueueSizes();
  ApplyLineSettings();
  ApplyTimeouts();
}

std::int32_t TCustomComPort::LineBitsPerSecond() const {
  return baudRate_ == brCustom ? customBaudRate_ : BaudRateBitsPerSecond(baudRate_);
}

TLineSettings TCustomComPort::LineSettings() const {
  TLineSettings line;
  line.bitsPerSecond = LineBitsPerSecond();
  line.dataBits = dataBits_;
  line.parity = parity_.Bits();
  line.stopBits = stopBits_;
  line.parityCheck = parity_.Check();
  line.parityReplace = parity_.Replace();
  line.parityReplaceChar = parity_.ReplaceChar();
  line.outCtsFlow = flowControl_.OutCTSFlow();
  line.outDsrFlow = flowControl_.OutDSRFlow();
  line.controlDtr = flowControl_.ControlDTR();
  line.controlRts = flowControl_.ControlRTS();
  line.xonXoffOut = flowControl_.XonXoffOut();
  line.xonXoffIn = flowControl_.XonXoffIn();
  line.dsrSensitivity = flowControl_.DSRSensitivity();
  line.txContinueOnXoff = flowControl_.TxContinueOnXoff();
  line.xonChar = flowControl_.XonChar();
  line.xoffChar = flowControl_.XoffChar();
  line.discardNull = discardNull_;
  line.eventChar = eventChar_;
  return line;
}

void TCustomComPort::Open() {
  if (connected_) return;
  if (OnBeforeOpen) OnBeforeOpen(*this);
  device_.Open(DevicePathForPort(port_));
  connected_ = true;
  try {
    ApplyAll();
    StartEventWatch();
  } catch (...) {
    watch_.reset();
    device_.Close();
    connected_ = false;
    throw;
  }
  if (OnAfterOpen) OnAfterOpen(*this);
  TLineSignals lines;
  try {
    lines = device_.LineSignals();
  } catch (const EComPort& failure) {
    // A device that went away the moment it opened: its recorder sees the
    // end, and the loss is reported once, on that path.
    if (!device_.EndError() && failure.PlatformCode() != EIO) throw;
  }
  RunSignalEvents(lines);
}

void TCustomComPort::Close() {
  // A handler that closes the port while Close runs finds it closing.
  if (!connected_ || closing_) return;
  const QScopedValueRollback<bool> closing(closing_, true);
  RunSignalEvents({});
  if (OnBeforeClose) OnBeforeClose(*this);
  device_.AbortPending();
  std::exception_ptr handlerFailure;
  try {
    DeliverLastBytes();
  } catch (...) {
    handlerFailure = std::current_exception();  // reported once the port is closed
  }
  StopEventWatch();
  // A later opening starts without anything left from this one.
  device_.DiscardQueues();
  device_.Close();
  connected_ = false;
  if (OnAfterClose) OnAfterClose(*this);
  if (handlerFailure) std::rethrow_exception(handlerFailure);
}

void TCustomComPort::DeliverLastBytes() {
  // The device reads no more: what it still held is kept with what was
  // read before, and all of it goes to the handler, as at any arrival.
  device_.FinishReading();
  // Not after the watch has ended on a failing handler, which would only
  // fail again; not into a handler that is closing the port itself; and
  // never more often than there are bytes, in case a handler stops taking
  // them.
  if (!OnRxChar || watch_ == nullptr || watch_->Ended() || watch_->Dispatching()) return;
  for (int left = device_.KeptInput(); left > 0; --left) {
    const int kept = device_.KeptInput();
    if (kept == 0) return;
    const std::uint64_t readBefore = bytesRead_;
    OnRxChar(*this, kept);
    if (bytesRead_ == readBefore) return;
  }
}

void TCustomComPort::RunSignalEvents(const TLineSignals& lines) {
  if (OnCTSChange) OnCTSChange(*this, lines.cts);
  if (OnDSRChange) OnDSRChange(*this, lines.dsr);
  if (OnRLSDChange) OnRLSDChange(*this, lines.rlsd);
}

void TCustomComPort::StartEventWatch() {
  ++opening_;
  if (events_.Empty()) return;
  const std::uint64_t opening = opening_;
  watch_ = std::make_unique<TComEventWatch>(
      device_, [this](TComEvents events) { return DispatchEvents(events); },
      // Reported from the event loop, after the watch's own work is done: the
      // handler may close the port, which ends the watch.
      [this, opening](const QString& message) {
        QMetaObject::invokeMethod(
            this, [this, opening, message] { ReportLinkLost(opening, message); }, Qt::QueuedConnection);
      });
}

void TCustomComPort::StopEventWatch() {
  if (!watch_) return;
  watch_->Stop();
  // Closed from inside a dispatch: the watch goes once that dispatch is over.
  if (watch_->Dispatching()) {
    watch_.release()->deleteLater();
  } else {
    watch_.reset();
  }
}

void TCustomComPort::ReportLinkLost(std::uint64_t opening, const QString& message) {
  if (opening != opening_ || !connected_ || !OnLinkLost) return;
  // Runs from the event loop, which no exception may cross.
  RunReportingErrors([&] { OnLinkLost(*this, message); });
}

int TCustomComPort::DispatchEvents(TComEvents events) {
  int untaken = 0;
  if (events.Contains(evError)) {
    const TComErrors errors = device_.TakeLineErrors();
    if (!errors.Empty() && OnError) OnError(*this, errors);
  }
  if (events.Contains(evRxChar)) {
    // Bytes an earlier handler already read raise no second call.
    const int count = PendingInputCount();
    if (count > 0) {
      const std::uint64_t readBefore = bytesRead_;
      if (OnRxChar) OnRxChar(*this, count);
      if (bytesRead_ == readBefore) untaken = count;
    }
  }
  if (events.Contains(evTxEmpty) && OnTxEmpty) OnTxEmpty(*this);
  if (events.Contains(evBreak) && OnBreak) OnBreak(*this);
  if (events.Contains(evRing) && OnRing) OnRing(*this);
  if (events.Contains(evCTS)) {
    const bool on = device_.LineSignals().cts;
    if (OnCTSChange) OnCTSChange(*this, on);
  }
  if (events.Contains(evDSR)) {
    const bool on = device_.LineSignals().dsr;
    if (OnDSRChange) OnDSRChange(*this, on);
  }
  if (events.Contains(evRxFlag) && OnRxFlag) OnRxFlag(*this);
  if (events.Contains(evRLSD)) {
    const bool on = device_.LineSignals().rlsd;
    if (OnRLSDChange) OnRLSDChange(*this, on);
  }
  if (events.Contains(evRx80Full) && OnRx80Full) OnRx80Full(*this);
  return untaken;
}

// No queue query after the read: its count would be unused, and its failure
// would throw away the bytes just read.
int TCustomComPort::Read(void* buffer, int count) {
  const int received = device_.Read(buffer, count);
  bytesRead_ += static_cast<std::uint64_t>(received);
  return received;
}

std::optional<LineRecorder::Packet> TCustomComPort::TakePacket(std::uint8_t* place) {
  std::optional<LineRecorder::Packet> packet = device_.TakePacket(place);
  // Counted as input taken, an empty packet too: the handler took something.
  if (packet) bytesRead_ += static_cast<std::uint64_t>(packet->count) + 1;
  return packet;
}

int TCustomComPort::PendingInputCount() const { return device_.PendingInput(); }

}  // namespace tessaly
