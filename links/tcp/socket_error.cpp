#include "links/tcp/socket_error.h"

#include "links/tcp/socket_api.h"

#include <cerrno>

namespace tessaly {

ESocketError::ESocketError(const QString& message, int errorCode)
    : std::runtime_error(message.toStdString()), errorCode_(errorCode) {}

ESocketError SocketApiError(int errorCode, const char* apiName) {
  // One arg() call, so that a "%" in the platform's text is never taken
  // for a place holder.
  return ESocketError(QStringLiteral("Windows socket error: %1 (%2), on API '%3'")
                          .arg(socket_api::ErrorText(errorCode), QString::number(errorCode),
                               QLatin1String(apiName)),
                      errorCode);
}

ESocketError ReaderStartError(int errorCode) {
  return ESocketError(QStringLiteral("Out of memory: the connection cannot be read (%1, error %2). The program's "
                                     "memory limit (ulimit -v, a service's MemoryMax=) or the computer's memory "
                                     "ran out; the network is not at fault.")
                          .arg(socket_api::ErrorText(errorCode), QString::number(errorCode)),
                      errorCode);
}

ESocketError AsyncSocketError(int errorCode) {
  return ESocketError(QStringLiteral("Asynchronous socket error %1").arg(errorCode), errorCode);
}

QString ConnectFailureDetail(int errorCode, const QString& address, int port) {
  if (errorCode == kNoAddressErrorCode || address.isEmpty()) {
    return QStringLiteral("No address is set: enter the gateway's address in Options > TCP/IP Settings.");
  }
  const QString target = QStringLiteral("Gateway %1:%2.\n").arg(address).arg(port);
  switch (errorCode) {
    case ECONNREFUSED:
      return target + QStringLiteral("The connection was refused: the device answers, but nothing accepts "
                                     "connections on port %1. Check the port in Options > TCP/IP Settings.")
                          .arg(port);
    case ETIMEDOUT:
      return target + QStringLiteral("No answer in time: the device may be switched off, on another "
                                     "network, or behind a firewall. Check the address and the cable.");
    case EHOSTUNREACH:
    case ENETUNREACH:
      return target + QStringLiteral("The address cannot be reached from this computer: check the address, "
                                     "and that this computer is on the gateway's network.");
    case ENOMEM:
    case ENOBUFS:
    case EAGAIN:
      return target + QStringLiteral("This computer ran out of memory for the connection (%1, error %2): the "
                                     "program's memory limit or the computer's memory, not the network.")
                          .arg(socket_api::ErrorText(errorCode))
                          .arg(errorCode);
    case ECONNRESET:
      return target + QStringLiteral("The device closed the connection at once: it may accept only one "
                                     "client, and another may be connected.");
    default:
      return target + QStringLiteral("Cause: %1 (error %2).").arg(socket_api::ErrorText(errorCode)).arg(errorCode);
  }
}

}  // namespace tessaly
