#pragma once

#include <QString>

#include <stdexcept>

namespace tessaly {

// Every failure of the TCP client link. what() is the UTF-8 message.
class ESocketError : public std::runtime_error {
 public:
  explicit ESocketError(const QString& message);
  QString Message() const { return QString::fromUtf8(what()); }
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

// "Asynchronous socket error <code>".
ESocketError AsyncSocketError(int errorCode);

}  // namespace tessaly
