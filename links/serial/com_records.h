#pragma once

#include <cstdint>

#include "links/serial/com_types.h"

namespace tessaly {

class TCustomComPort;

// The four setting records of a port. Each belongs to its port for life;
// changing a field to a different value re-applies the matching part of the
// configuration to the port (nothing happens while it is closed or its
// update hold is in force).

class TComParity {
 public:
  explicit TComParity(TCustomComPort& port) : port_(port) {}
  TComParity(const TComParity&) = delete;
  TComParity& operator=(const TComParity&) = delete;

  TParityBits Bits() const { return bits_; }
  void SetBits(TParityBits bits);
  bool Check() const { return check_; }  // the driver checks parity on input
  void SetCheck(bool check);
  bool Replace() const { return replace_; }  // bytes with a parity error are replaced
  void SetReplace(bool replace);
  std::uint8_t ReplaceChar() const { return replaceChar_; }
  void SetReplaceChar(std::uint8_t replaceChar);

 private:
  TCustomComPort& port_;
  TParityBits bits_ = prNone;
  bool check_ = false;
  bool replace_ = false;
  std::uint8_t replaceChar_ = 0;
};

class TComFlowControl {
 public:
  explicit TComFlowControl(TCustomComPort& port) : port_(port) {}
  TComFlowControl(const TComFlowControl&) = delete;
  TComFlowControl& operator=(const TComFlowControl&) = delete;

  bool OutCTSFlow() const { return outCTSFlow_; }
  void SetOutCTSFlow(bool on);
  bool OutDSRFlow() const { return outDSRFlow_; }
  void SetOutDSRFlow(bool on);
  TDTRFlowControl ControlDTR() const { return controlDTR_; }
  void SetControlDTR(TDTRFlowControl control);
  TRTSFlowControl ControlRTS() const { return controlRTS_; }
  void SetControlRTS(TRTSFlowControl control);
  bool XonXoffOut() const { return xonXoffOut_; }
  void SetXonXoffOut(bool on);
  bool XonXoffIn() const { return xonXoffIn_; }
  void SetXonXoffIn(bool on);
  bool DSRSensitivity() const { return dsrSensitivity_; }
  void SetDSRSensitivity(bool on);
  bool TxContinueOnXoff() const { return txContinueOnXoff_; }
  void SetTxContinueOnXoff(bool on);
  std::uint8_t XonChar() const { return xonChar_; }
  void SetXonChar(std::uint8_t character);
  std::uint8_t XoffChar() const { return xoffChar_; }
  void SetXoffChar(std::uint8_t character);

  // The kind the details amount to; fcCustom when they match no other.
  TFlowControl FlowControlKind() const;
  // Sets RTS handshaking, CTS output flow and both XON/XOFF flags for the
  // kind (fcCustom changes none), leaves the other details alone, and
  // re-applies the line settings in every case.
  void SetFlowControlKind(TFlowControl kind);

 private:
  TCustomComPort& port_;
  bool outCTSFlow_ = false;
  bool outDSRFlow_ = false;
  TDTRFlowControl controlDTR_ = dtrDisable;
  TRTSFlowControl controlRTS_ = rtsDisable;
  bool xonXoffOut_ = false;
  bool xonXoffIn_ = false;
  bool dsrSensitivity_ = false;
  bool txContinueOnXoff_ = false;
  std::uint8_t xonChar_ = 17;
  std::uint8_t xoffChar_ = 19;
};

// Milliseconds; a ReadInterval of -1 (all ones) with both read totals 0
// means a read returns at once with what is queued.
class TComTimeouts {
 public:
  explicit TComTimeouts(TCustomComPort& port) : port_(port) {}
  TComTimeouts(const TComTimeouts&) = delete;
  TComTimeouts& operator=(const TComTimeouts&) = delete;

  std::int32_t ReadInterval() const { return readInterval_; }
  void SetReadInterval(std::int32_t ms);
  std::int32_t ReadTotalMultiplier() const { return readTotalMultiplier_; }
  void SetReadTotalMultiplier(std::int32_t ms);
  std::int32_t ReadTotalConstant() const { return readTotalConstant_; }
  void SetReadTotalConstant(std::int32_t ms);
  std::int32_t WriteTotalMultiplier() const { return writeTotalMultiplier_; }
  void SetWriteTotalMultiplier(std::int32_t ms);
  std::int32_t WriteTotalConstant() const { return writeTotalConstant_; }
  void SetWriteTotalConstant(std::int32_t ms);

 private:
  TCustomComPort& port_;
  std::int32_t readInterval_ = -1;
  std::int32_t readTotalMultiplier_ = 0;
  std::int32_t readTotalConstant_ = 0;
  std::int32_t writeTotalMultiplier_ = 100;
  std::int32_t writeTotalConstant_ = 1000;
};

// Queue sizes in bytes asked of the driver; a positive odd size is stored as
// the next lower even one.
class TComBuffer {
 public:
  explicit TComBuffer(TCustomComPort& port) : port_(port) {}
  TComBuffer(const TComBuffer&) = delete;
  TComBuffer& operator=(const TComBuffer&) = delete;

  std::int32_t InputSize() const { return inputSize_; }
  void SetInputSize(std::int32_t bytes);
  std::int32_t OutputSize() const { return outputSize_; }
  void SetOutputSize(std::int32_t bytes);

 private:
  TCustomComPort& port_;
  std::int32_t inputSize_ = 1024;
  std::int32_t outputSize_ = 1024;
};

}  // namespace tessaly
