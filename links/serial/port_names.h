#pragma once

#include <QString>
#include <QStringList>

#include <filesystem>
#include <string>

namespace tessaly {

// The device a port name stands for: a name beginning with "/" is a device
// path as it stands; "COM" and a number n >= 1 is /dev/ttyS<n-1> (so COM1 is
// the first on-board port); any other name is /dev/<name>.
std::string DevicePathForPort(const QString& name);

// Replaces the list with the names of the machine's serial devices, sorted
// ignoring case: the tty entries under <sysfsRoot>/class/tty that a device
// backs, less on-board UART slots with no UART behind them (type 0), and the
// open pseudo-terminals under ptsRoot as "pts/<n>" (the virtual ports that
// socat, ser2net or a traffic generator make; sysfs does not list them). An
// empty or missing ptsRoot lists none. A device list that cannot be read
// raises EComPort code 23 with errno, leaving names as they were.
void ListPortNames(QStringList& names, const std::filesystem::path& sysfsRoot = "/sys",
                   const std::filesystem::path& ptsRoot = "/dev/pts");

}  // namespace tessaly
