#include "links/serial/com_error.h"

#include <array>

namespace tessaly {
namespace {

// Filled once, at program start, as constant data.
constexpr std::array<const char*, 23> kComErrorTexts = {
    "Unable to open com port",
    "WriteFile function failed",
    "ReadFile function failed",
    "Invalid Async parameter",
    "PurgeComm function failed",
    "Unable to get async status",
    "SetCommState function failed",
    "SetCommTimeouts failed",
    "SetupComm function failed",
    "ClearCommError function failed",
    "GetCommModemStatus function failed",
    "EscapeCommFunction function failed",
    "TransmitCommChar function failed",
    "Cannot set property while connected",
    "EnumPorts function failed",
    "Failed to store settings",
    "Failed to load settings",
    "Link (un)registration failed",
    "Cannot change led state if ComPort is selected",
    "Cannot wait for event if event thread is created",
    "WaitForEvent method failed",
    "A component is linked to OnRxBuf event",
    "Registry error",
};

QString MessageFor(int errorCode, int platformCode) {
  QString message = ComErrorText(errorCode);
  if (platformCode != EComPort::kNoPlatformCode) {
    message += QStringLiteral(" (win error code: %1)").arg(platformCode);
  }
  return message;
}

}  // namespace

QString ComErrorText(int errorCode) {
  if (errorCode < 1 || errorCode > static_cast<int>(kComErrorTexts.size())) return {};
  return QString::fromLatin1(kComErrorTexts[static_cast<std::size_t>(errorCode - 1)]);
}

EComPort::EComPort(int errorCode, int platformCode)
    : std::runtime_error(MessageFor(errorCode, platformCode).toStdString()),
      errorCode_(errorCode),
      platformCode_(platformCode) {}

}  // namespace tessaly
