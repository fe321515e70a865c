#include "links/serial/com_error.h"
#include "links/serial/com_text.h"

#include "links/serial/device_access.h"

#include <array>
#include <cerrno>
#include <cstring>

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

QString Cause(int platformCode, const QString& devicePath, const QString& holders) {
  switch (platformCode) {
    case ENOENT:
      return QStringLiteral("There is no such device: the adapter may be unplugged or the name "
                            "mistyped. Pick a port from the list in Options > Serial settings.");
    case ENODEV:
    case ENXIO:
      return QStringLiteral("No device answers behind this name (an empty on-board slot, or an "
                            "adapter being unplugged).");
    case EACCES:
    case EPERM:
      return AccessAdvice(ReadDeviceOwnership(devicePath));
    case EBUSY:
      if (holders.isEmpty()) {
        return QStringLiteral("The port is in use by another program. Close it, then press Start again.");
      }
      return QStringLiteral("The port is in use by %1. Close that program, then press Start again.")
          .arg(holders);
    case ENOTTY:
      if (devicePath == QLatin1String("/dev/ptmx") || devicePath == QLatin1String("/dev/pts/ptmx")) {
        return QStringLiteral("This is the pseudo-terminal multiplexer, not a port: each opening makes a new "
                              "pseudo-terminal that no program writes to. Choose the pseudo-terminal a program "
                              "made (/dev/pts/N) instead.");
      }
      return QStringLiteral("This device is not a serial port.");
    case EIO:
      return QStringLiteral("The device reported an input/output error; it may have been unplugged.");
    case EINVAL:
      return QStringLiteral("The device does not accept these line settings.");
    default:
      return QStringLiteral("Cause: %1 (error %2).").arg(QString::fromLocal8Bit(std::strerror(platformCode))).arg(platformCode);
  }
}

}  // namespace

QString ComFailureDetail(int platformCode, const QString& portName, const QString& devicePath,
                         const QString& holders) {
  if (platformCode == EComPort::kNoPlatformCode) return {};
  if (portName.isEmpty()) {
    return QStringLiteral("No port is chosen: pick one in Options > Serial settings.");
  }
  const QString port = portName == devicePath
                           ? QStringLiteral("Port %1.").arg(DisplayedPortName(portName))
                           : QStringLiteral("Port %1 (device %2).")
                                 .arg(DisplayedPortName(portName), DisplayedPortName(devicePath));
  return port + u'\n' + Cause(platformCode, devicePath, holders);
}

QString ComErrorText(int errorCode) {
  if (errorCode < 1 || errorCode > static_cast<int>(kComErrorTexts.size())) return {};
  return QString::fromLatin1(kComErrorTexts[static_cast<std::size_t>(errorCode - 1)]);
}

EComPort::EComPort(int errorCode, int platformCode)
    : std::runtime_error(MessageFor(errorCode, platformCode).toStdString()),
      errorCode_(errorCode),
      platformCode_(platformCode) {}

}  // namespace tessaly
