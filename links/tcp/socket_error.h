#pragma once

#include <QString>

#include <stdexcept>

namespace tessaly {

// Every failure of the TCP client link. what() is the UTF-8 message.
class ESocketError : public std::runtime_error {
 public:
  // errorCode: the platform's error number behind the failure, 0 for none.
  explicit ESocketError(const QString& message, int errorCode = 0);
  QString Message() const { return QString::fromUtf8(what()); }
  int ErrorCode() const { return errorCode_; }

 private:
  int errorCode_;
};

inline constexpr const char* kNoAddressSpecified = "No address specified";
inline constexpr const char* kCantCreateSocket = "Can't create new socket";
inline constexpr const char* kSocketAlreadyOpen = "Socket already open";
inline constexpr const char* kCantChangeWhileActive = "Can't change value while socket is active";
inline constexpr const char* kHostLookupUnsupported =
    "Host name lookup is not supported: set the address instead";
inline constexpr const char* kServiceLookupUnsupported =
    "Service name lookup is not supported: set the port instead";
inline constexpr const char* kBlockingUnsupported = "Blocking sockets are not supported";

// The code the error hook receives when an opening has neither a host nor an
// address.
inline constexpr int kNoAddressErrorCode = 1110;

// "Windows socket error: <platform text> (<code>), on API '<call>'". The
// text keeps its historical wording on every platform; users and support
// notes know it by that.
ESocketError SocketApiError(int errorCode, const char* apiName);
// The connection is up but cannot be read: the thread that reads it could
// not be started for want of memory or threads (errorCode: ENOMEM, EAGAIN).
// Said as what it is, not as a fault of the network.
ESocketError ReaderStartError(int errorCode);

// "Asynchronous socket error <code>".
ESocketError AsyncSocketError(int errorCode);

// Why a connection to address:port failed, in plain words with the remedy
// where one is known, from the error number the attempt ended with
// (kNoAddressErrorCode for no address; ETIMEDOUT also for an attempt that
// got no answer in the time it was given).
QString ConnectFailureDetail(int errorCode, const QString& address, int port);

}  // namespace tessaly
