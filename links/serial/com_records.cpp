#include "links/serial/com_records.h"

#include "links/serial/com_port.h"
#include "links/serial/setting_change.h"

namespace tessaly {
namespace {

// Parity and flow-control fields belong to the line settings.
template <class T>
void ChangeLine(TCustomComPort& port, T& field, T value) {
  ChangeSetting(field, value, [&port] { port.ApplyLineSettings(); });
}

}  // namespace

void TComParity::SetBits(TParityBits bits) { ChangeLine(port_, bits_, bits); }
void TComParity::SetCheck(bool check) { ChangeLine(port_, check_, check); }
void TComParity::SetReplace(bool replace) { ChangeLine(port_, replace_, replace); }
void TComParity::SetReplaceChar(std::uint8_t replaceChar) { ChangeLine(port_, replaceChar_, replaceChar); }

void TComFlowControl::SetOutCTSFlow(bool on) { ChangeLine(port_, outCTSFlow_, on); }
void TComFlowControl::SetOutDSRFlow(bool on) { ChangeLine(port_, outDSRFlow_, on); }
void TComFlowControl::SetControlDTR(TDTRFlowControl control) { ChangeLine(port_, controlDTR_, control); }
void TComFlowControl::SetControlRTS(TRTSFlowControl control) { ChangeLine(port_, controlRTS_, control); }
void TComFlowControl::SetXonXoffOut(bool on) { ChangeLine(port_, xonXoffOut_, on); }
void TComFlowControl::SetXonXoffIn(bool on) { ChangeLine(port_, xonXoffIn_, on); }
void TComFlowControl::SetDSRSensitivity(bool on) { ChangeLine(port_, dsrSensitivity_, on); }
void TComFlowControl::SetTxContinueOnXoff(bool on) { ChangeLine(port_, txContinueOnXoff_, on); }
void TComFlowControl::SetXonChar(std::uint8_t character) { ChangeLine(port_, xonChar_, character); }
void TComFlowControl::SetXoffChar(std::uint8_t character) { ChangeLine(port_, xoffChar_, character); }

TFlowControl TComFlowControl::FlowControlKind() const {
  if (controlRTS_ == rtsHandshake && outCTSFlow_ && !xonXoffIn_ && !xonXoffOut_) return fcHardware;
  if (controlRTS_ == rtsDisable && !outCTSFlow_ && xonXoffIn_ && xonXoffOut_) return fcSoftware;
  if (controlRTS_ == rtsDisable && !outCTSFlow_ && !xonXoffIn_ && !xonXoffOut_) return fcNone;
  return fcCustom;
}

void TComFlowControl::SetFlowControlKind(TFlowControl kind) {
  if (kind == fcHardware || kind == fcSoftware || kind == fcNone) {
    controlRTS_ = kind == fcHardware ? rtsHandshake : rtsDisable;
    outCTSFlow_ = kind == fcHardware;
    xonXoffIn_ = kind == fcSoftware;
    xonXoffOut_ = kind == fcSoftware;
  }
  port_.ApplyLineSettings();
}

void TComTimeouts::SetReadInterval(std::int32_t ms) {
  ChangeSetting(readInterval_, ms, [this] { port_.ApplyTimeouts(); });
}
void TComTimeouts::SetReadTotalMultiplier(std::int32_t ms) {
  ChangeSetting(readTotalMultiplier_, ms, [this] { port_.ApplyTimeouts(); });
}
void TComTimeouts::SetReadTotalConstant(std::int32_t ms) {
  ChangeSetting(readTotalConstant_, ms, [this] { port_.ApplyTimeouts(); });
}
void TComTimeouts::SetWriteTotalMultiplier(std::int32_t ms) {
  ChangeSetting(writeTotalMultiplier_, ms, [this] { port_.ApplyTimeouts(); });
}
void TComTimeouts::SetWriteTotalConstant(std::int32_t ms) {
  ChangeSetting(writeTotalConstant_, ms, [this] { port_.ApplyTimeouts(); });
}

namespace {

std::int32_t EvenSize(std::int32_t bytes) { return bytes > 0 && bytes % 2 != 0 ? bytes - 1 : bytes; }

}  // namespace

void TComBuffer::SetInputSize(std::int32_t bytes) {
  ChangeSetting(inputSize_, EvenSize(bytes), [this] { port_.ApplyQueueSizes(); });
}
void TComBuffer::SetOutputSize(std::int32_t bytes) {
  ChangeSetting(outputSize_, EvenSize(bytes), [this] { port_.ApplyQueueSizes(); });
}

}  // namespace tessaly
