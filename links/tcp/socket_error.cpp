#include "links/tcp/socket_error.h"

#include "links/tcp/socket_api.h"

namespace tessaly {

ESocketError::ESocketError(const QString& message) : std::runtime_error(message.toStdString()) {}

ESocketError SocketApiError(int errorCode, const char* apiName) {
  // One arg() call, so that a "%" in the platform's text is never taken
  // for a place holder.
  return ESocketError(QStringLiteral("Windows socket error: %1 (%2), on API '%3'")
                          .arg(socket_api::ErrorText(errorCode), QString::number(errorCode),
                               QLatin1String(apiName)));
}

ESocketError AsyncSocketError(int errorCode) {
  return ESocketError(QStringLiteral("Asynchronous socket error %1").arg(errorCode));
}

}  // namespace tessaly
