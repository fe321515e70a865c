#include "links/serial/com_port.h"

#include <QMetaObject>
#include <QScopedValueRollback>

#include <system_error>
#include <thread>
#include <utility>

#include "presentation/error_report.h"
#include "links/serial/com_text.h"
#include "links/serial/com_thread.h"
#include "links/serial/port_names.h"
#include "links/serial/setting_change.h"

namespace tessaly {
namespace {

// How often Close looks whether the event thread has ended, at the latest,
// while it serves the thread's hand-overs.
constexpr std::chrono::milliseconds kServeTick{100};

}  // namespace

TCustomComPort::TCustomComPort(QObject* parent) : QObject(parent) {}

TCustomComPort::~TCustomComPort() {
  try {
    Close();
  } catch (...) {
    // Closing cannot be refused here; the members below end the thread and
    // close the device all the same.
  }
  thread_.reset();
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
    StartEventThread();
  } catch (...) {
    thread_.reset();
    device_.Close();
    connected_ = false;
    throw;
  }
  if (OnAfterOpen) OnAfterOpen(*this);
  RunSignalEvents(device_.LineSignals());
}

void TCustomComPort::Close() {
  // A handler that closes the port while Close runs finds it closing.
  if (!connected_ || closing_) return;
  const QScopedValueRollback<bool> closing(closing_, true);
  RunSignalEvents({});
  if (OnBeforeClose) OnBeforeClose(*this);
  device_.AbortPending();
  StopEventThread();
  // A later opening starts without the bytes left from this one, also those
  // that came after an event thread ended early.
  device_.DiscardQueues();
  device_.Close();
  connected_ = false;
  if (OnAfterClose) OnAfterClose(*this);
}

void TCustomComPort::RunSignalEvents(const TLineSignals& lines) {
  if (OnCTSChange) OnCTSChange(*this, lines.cts);
  if (OnDSRChange) OnDSRChange(*this, lines.dsr);
  if (OnRLSDChange) OnRLSDChange(*this, lines.rlsd);
}

void TCustomComPort::StartEventThread() {
  ++opening_;
  if (events_.Empty()) return;
  handOver_.Reset();
  const std::uint64_t opening = opening_;
  try {
    thread_ = std::make_unique<TComThread>(
        device_, events_, handOver_, [this](TComEvents events) { return DispatchEvents(events); },
        // On the event thread: the notice waits in the event loop, and is
        // dropped with the port if the port goes first.
        [this, opening](const QString& message) {
          QMetaObject::invokeMethod(
              this, [this, opening, message] { ReportLinkLost(opening, message); }, Qt::QueuedConnection);
        });
  } catch (const std::system_error& failure) {  // no thread to be had
    throw EComPort(kComOpenFailed, failure.code().value());
  }
}

void TCustomComPort::StopEventThread() {
  if (!thread_) return;
  thread_->Stop();
  // Closed from inside a dispatch: the thread waits for that very dispatch,
  // which cannot end before this Close does.
  if (handOver_.IsRunning()) handOver_.ReleaseWaiters();
  std::this_thread::yield();
  // A hand-over queued right now still runs (and may read) before the
  // thread can end.
  handOver_.ServeUntil([this] { return thread_->Finished(); }, kServeTick);
  thread_.reset();
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

int TCustomComPort::PendingInputCount() const { return device_.PendingInput(); }

}  // namespace tessaly
