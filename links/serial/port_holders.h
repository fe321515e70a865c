#pragma once

#include <QString>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace tessaly {

// A process with a file open, as /proc shows it.
struct PortHolder {
  int pid = 0;
  QString program;  // its command name ("socat", "tessaly-traffic")
};

// What the processes under procRoot hold of the serial and pseudo-terminal
// devices, read once. Processes of other users whose files /proc does not
// show are simply not seen: the answers are "as far as /proc tells".
class OpenDevices {
 public:
  // An empty procRoot sees nothing.
  explicit OpenDevices(const std::filesystem::path& procRoot);

  // The processes other than excludedPid with devicePath open (compared as
  // the kernel names it, so resolve symbolic links first). For a
  // pseudo-terminal the process holding its other end is the far end of
  // the line, not another reader, and is left out.
  std::vector<PortHolder> Holding(const std::string& devicePath, int excludedPid) const;

  // The processes holding the other end (the multiplexer side) of the
  // pseudo-terminal /dev/pts/<number>: the program that made it.
  std::vector<PortHolder> PseudoTerminalOwners(int number) const;

 private:
  struct OpenFile {
    PortHolder holder;
    std::string target;         // what the descriptor's link names
    int pseudoTerminal = -1;    // for the multiplexer side: the pts number
  };
  std::vector<OpenFile> files_;
};

// "socat (pid 812), tessaly-traffic (pid 90)"; the empty text for none.
QString HoldersText(const std::vector<PortHolder>& holders);

// The device a port name stands for, with symbolic links resolved
// (/dev/serial/by-id/... to /dev/ttyUSB0) where they can be.
std::string ResolvedDevicePath(const QString& portName);

}  // namespace tessaly
