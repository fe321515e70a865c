#pragma once

#include <QString>

#include <stdexcept>

namespace tessaly {

// The failure codes of the serial port. Some belong to operations this
// program does not have; their texts stay so that every code has one.
enum ComErrorCode : int {
  kComOpenFailed = 1,
  kComWriteFailed = 2,
  kComReadFailed = 3,
  kComInvalidAsync = 4,
  kComPurgeFailed = 5,
  kComAsyncStatusFailed = 6,
  kComSetStateFailed = 7,
  kComSetTimeoutsFailed = 8,
  kComSetupFailed = 9,
  kComClearErrorFailed = 10,
  kComModemStatusFailed = 11,
  kComEscapeFailed = 12,
  kComTransmitFailed = 13,
  kComConnectedChange = 14,
  kComEnumPortsFailed = 15,
  kComStoreFailed = 16,
  kComLoadFailed = 17,
  kComLinkRegistration = 18,
  kComLedState = 19,
  kComThreadExists = 20,
  kComWaitFailed = 21,
  kComRxBufLinked = 22,
  kComRegistryFailed = 23,
};

// The fixed text of a code; the empty text for a number that is no code.
QString ComErrorText(int errorCode);

// Every failure of the serial port. The message is the code's text, followed
// by " (win error code: N)" when the platform gave an error number N (errno
// here): users quote these messages, so the wording stays as it always was.
class EComPort : public std::runtime_error {
 public:
  static constexpr int kNoPlatformCode = -1;

  explicit EComPort(int errorCode, int platformCode = kNoPlatformCode);

  int ErrorCode() const { return errorCode_; }
  int PlatformCode() const { return platformCode_; }
  QString Message() const { return QString::fromUtf8(what()); }

 private:
  int errorCode_;
  int platformCode_;
};

// What a failure of the port means, in plain words, for the informative
// text beside its message: the port and its device, the cause from the
// error number, and the remedy where one is known. holders names the
// programs that have the device open (the cause of a busy port), if known.
// The empty text for a failure without an error number.
QString ComFailureDetail(int platformCode, const QString& portName, const QString& devicePath,
                         const QString& holders = {});

}  // namespace tessaly
