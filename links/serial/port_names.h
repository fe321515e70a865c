#pragma once

#include <QString>
#include <QStringList>

#include <filesystem>
#include <string>
#include <vector>

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

// Where the kernel's views of the machine are found; a test points them at
// a made-up tree. An empty root is not looked at.
struct SystemRoots {
  std::filesystem::path sysfs{"/sys"};
  std::filesystem::path dev{"/dev"};
  std::filesystem::path proc{"/proc"};
};

// One port the user can pick, with what it is in plain words.
struct PortEntry {
  QString name;         // what the port stores and opens: "ttyUSB0", "pts/3", a path
  QString description;  // "USB: FTDI FT232R USB UART, serial A50285BI"
};

// The ports of ListPortNames, each described: USB adapters by the
// manufacturer, product and serial number their USB device gives; on-board
// ports with the COM name that stands for them; pseudo-terminals with the
// program holding their other end where /proc tells. Each link in
// <dev>/serial/by-id is an entry of its own, named by its full path, a name
// that stays the same when the adapter is plugged in again. Sorted by name,
// ignoring case. EComPort code 23 when the device list cannot be read.
std::vector<PortEntry> ListPorts(const SystemRoots& roots);

// The entry a port name stands for: the one of the same name (ignoring
// case), else the one for the same device (COM1 for ttyS0, /dev/ttyS0 for
// ttyS0); -1 for none.
int FindPortEntry(const std::vector<PortEntry>& entries, const QString& portName);

}  // namespace tessaly
