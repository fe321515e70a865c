#include "links/serial/port_holders.h"

#include "links/serial/port_names.h"

#include <QStringList>

#include <algorithm>
#include <fstream>
#include <set>
#include <system_error>

namespace tessaly {
namespace {

namespace fs = std::filesystem;

bool AllDigits(const std::string& text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

QString CommandName(const fs::path& processDir) {
  std::ifstream comm(processDir / "comm");
  std::string name;
  std::getline(comm, name);
  return QString::fromUtf8(name.c_str()).trimmed();
}

// The "tty-index:" line the kernel writes in the fdinfo of a multiplexer
// descriptor: which pseudo-terminal it is the other end of.
int PseudoTerminalIndex(const fs::path& fdInfo) {
  std::ifstream info(fdInfo);
  std::string line;
  while (std::getline(info, line)) {
    constexpr std::string_view kKey = "tty-index:";
    if (line.rfind(kKey, 0) != 0) continue;
    try {
      return std::stoi(line.substr(kKey.size()));
    } catch (const std::exception&) {
      return -1;
    }
  }
  return -1;
}

bool IsMultiplexer(const std::string& target) {
  return target == "/dev/ptmx" || target == "/dev/pts/ptmx";
}

// Only device files are of interest: sockets, pipes and regular files are
// skipped before anything else is read.
bool IsDeviceLink(const std::string& target) { return target.rfind("/dev/", 0) == 0; }

}  // namespace

OpenDevices::OpenDevices(const fs::path& procRoot) {
  if (procRoot.empty()) return;
  std::error_code error;
  for (fs::directory_iterator processes(procRoot, error), end; !error && processes != end;
       processes.increment(error)) {
    const fs::path processDir = processes->path();
    const std::string pidText = processDir.filename().string();
    if (!AllDigits(pidText)) continue;
    std::error_code fdError;
    fs::directory_iterator fds(processDir / "fd", fdError);
    if (fdError) continue;  // gone, or not ours to look at
    PortHolder holder{std::stoi(pidText), {}};
    for (const fs::directory_iterator fdEnd; !fdError && fds != fdEnd; fds.increment(fdError)) {
      std::error_code linkError;
      const std::string target = fs::read_symlink(fds->path(), linkError).string();
      if (linkError || !IsDeviceLink(target)) continue;
      if (holder.program.isEmpty()) holder.program = CommandName(processDir);
      OpenFile file{holder, target, -1};
      if (IsMultiplexer(target)) {
        file.pseudoTerminal = PseudoTerminalIndex(processDir / "fdinfo" / fds->path().filename());
      }
      files_.push_back(std::move(file));
    }
  }
}

std::vector<PortHolder> OpenDevices::Holding(const std::string& devicePath, int excludedPid) const {
  // The far end of a pseudo-terminal: whoever holds its multiplexer side.
  std::set<int> farEnd;
  constexpr std::string_view kPts = "/dev/pts/";
  if (devicePath.rfind(kPts, 0) == 0 && AllDigits(devicePath.substr(kPts.size()))) {
    for (const PortHolder& owner : PseudoTerminalOwners(std::stoi(devicePath.substr(kPts.size())))) {
      farEnd.insert(owner.pid);
    }
  }
  std::vector<PortHolder> holders;
  std::set<int> seen;
  for (const OpenFile& file : files_) {
    const int pid = file.holder.pid;
    if (file.target != devicePath || pid == excludedPid || farEnd.count(pid) > 0) continue;
    if (seen.insert(pid).second) holders.push_back(file.holder);
  }
  return holders;
}

std::vector<PortHolder> OpenDevices::PseudoTerminalOwners(int number) const {
  std::vector<PortHolder> owners;
  std::set<int> seen;
  for (const OpenFile& file : files_) {
    if (file.pseudoTerminal != number || number < 0) continue;
    if (seen.insert(file.holder.pid).second) owners.push_back(file.holder);
  }
  return owners;
}

QString HoldersText(const std::vector<PortHolder>& holders) {
  QStringList parts;
  for (const PortHolder& holder : holders) {
    const QString program = holder.program.isEmpty() ? QStringLiteral("a program") : holder.program;
    parts << QStringLiteral("%1 (pid %2)").arg(program).arg(holder.pid);
  }
  return parts.join(QStringLiteral(", "));
}

std::string ResolvedDevicePath(const QString& portName) {
  const std::string path = DevicePathForPort(portName);
  std::error_code error;
  const fs::path resolved = fs::canonical(path, error);
  return error ? path : resolved.string();
}

}  // namespace tessaly
