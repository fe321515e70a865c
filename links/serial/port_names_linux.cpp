#include "links/serial/port_names.h"

#include <QFile>

#include <algorithm>
#include <fstream>
#include <map>
#include <optional>
#include <system_error>

#include "links/serial/com_error.h"
#include "links/serial/com_text.h"
#include "links/serial/port_holders.h"

namespace tessaly {
namespace {

// "COM" (any case) followed by decimal digits only: the number, or 0.
int ComPortNumber(const QString& name) {
  if (name.size() < 4 || UpperCaseAscii(name.left(3)) != QLatin1String("COM")) return 0;
  const QString digits = name.mid(3);
  if (digits.size() > 9) return 0;  // keeps the number inside an int
  if (!std::all_of(digits.cbegin(), digits.cend(), [](QChar c) { return c >= u'0' && c <= u'9'; })) return 0;
  return digits.toInt();
}

// serial8250 registers a tty for every possible on-board slot; a slot with
// no UART behind it reads type 0 and cannot be opened usefully.
bool IsEmptyUartSlot(const std::filesystem::path& entry) {
  std::ifstream typeFile(entry / "type");
  int type = -1;
  return typeFile >> type && type == 0;
}

void ThrowListFailure(const std::error_code& error) { throw EComPort(kComRegistryFailed, error.value()); }

// The pseudo-terminals open now: their numbered entries ("ptmx" is the
// multiplexer, not a port).
void AppendPseudoTerminals(const std::filesystem::path& ptsRoot, QStringList& found) {
  namespace fs = std::filesystem;
  if (ptsRoot.empty()) return;
  std::error_code error;
  for (fs::directory_iterator entries(ptsRoot, error), end; !error && entries != end;
       entries.increment(error)) {
    const std::string name = entries->path().filename().string();
    if (!name.empty() && std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      found.append(QStringLiteral("pts/") + QString::fromStdString(name));
    }
  }
}

void SortIgnoringCase(QStringList& names) {
  std::stable_sort(names.begin(), names.end(),
                   [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
}

// The tty entries under <sysfsRoot>/class/tty that a device backs, less empty
// on-board UART slots; none for an empty root. Code 23 when the folder cannot
// be read.
std::vector<std::filesystem::path> DeviceTtys(const std::filesystem::path& sysfsRoot) {
  namespace fs = std::filesystem;
  if (sysfsRoot.empty()) return {};
  std::error_code error;
  fs::directory_iterator entries(sysfsRoot / "class" / "tty", error);
  if (error) ThrowListFailure(error);
  std::vector<fs::path> found;
  for (const fs::directory_iterator end; entries != end; entries.increment(error)) {
    const fs::path& entry = entries->path();
    std::error_code ignored;
    // Virtual terminals, consoles and pseudo-terminals have no device.
    if (!fs::exists(entry / "device", ignored) || IsEmptyUartSlot(entry)) continue;
    found.push_back(entry);
  }
  if (error) ThrowListFailure(error);
  return found;
}

QString FirstLine(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  return QString::fromUtf8(line.c_str()).trimmed();
}

// USB adapters: the USB device (the first folder above the tty's device
// that has an idVendor) names its maker, product and serial number.
std::optional<QString> UsbDescription(const std::filesystem::path& sysfsRoot,
                                      const std::filesystem::path& tty) {
  namespace fs = std::filesystem;
  std::error_code deviceError;
  std::error_code rootError;
  fs::path folder = fs::canonical(tty / "device", deviceError);
  const fs::path root = fs::canonical(sysfsRoot, rootError);
  if (deviceError || rootError) return std::nullopt;
  for (int depth = 0; depth < 8 && folder != root && folder.has_relative_path(); ++depth) {
    std::error_code ignored;
    if (fs::exists(folder / "idVendor", ignored)) {
      QStringList words;
      for (const char* attribute : {"manufacturer", "product"}) {
        const QString text = FirstLine(folder / attribute);
        if (!text.isEmpty()) words << text;
      }
      QString description = QStringLiteral("USB: ") + (words.isEmpty() ? QStringLiteral("adapter") : words.join(u' '));
      const QString serial = FirstLine(folder / "serial");
      if (!serial.isEmpty()) description += QStringLiteral(", serial ") + serial;
      return description;
    }
    folder = folder.parent_path();
  }
  return std::nullopt;
}

QString OtherDeviceDescription(const QString& name, const std::filesystem::path& tty) {
  if (name.startsWith(QLatin1String("ttyS"))) {
    bool isNumber = false;
    const int number = name.mid(4).toInt(&isNumber);
    if (isNumber) return QStringLiteral("on-board port, COM%1").arg(number + 1);
  }
  std::error_code error;
  const std::filesystem::path driver = std::filesystem::read_symlink(tty / "device" / "driver", error);
  if (!error && !driver.filename().empty()) {
    return QStringLiteral("serial port (%1)").arg(QFile::decodeName(driver.filename().c_str()));
  }
  return QStringLiteral("serial port");
}

// The links under <devRoot>/serial/by-id, by the tty they lead to.
std::map<QString, QStringList> StableNames(const std::filesystem::path& devRoot) {
  namespace fs = std::filesystem;
  std::map<QString, QStringList> links;
  if (devRoot.empty()) return links;
  std::error_code error;
  for (fs::directory_iterator entries(devRoot / "serial" / "by-id", error), end; !error && entries != end;
       entries.increment(error)) {
    std::error_code linkError;
    const fs::path target = fs::read_symlink(entries->path(), linkError);
    if (linkError) continue;
    links[QFile::decodeName(target.filename().c_str())].append(QFile::decodeName(entries->path().c_str()));
  }
  for (auto& [tty, names] : links) SortIgnoringCase(names);
  return links;
}

}  // namespace

std::string DevicePathForPort(const QString& name) {
  if (name.startsWith(u'/')) return QFile::encodeName(name).toStdString();
  if (const int number = ComPortNumber(name); number >= 1) return "/dev/ttyS" + std::to_string(number - 1);
  return "/dev/" + QFile::encodeName(name).toStdString();
}

void ListPortNames(QStringList& names, const std::filesystem::path& sysfsRoot,
                   const std::filesystem::path& ptsRoot) {
  QStringList found;
  for (const std::filesystem::path& entry : DeviceTtys(sysfsRoot)) {
    found.append(QFile::decodeName(entry.filename().c_str()));
  }
  AppendPseudoTerminals(ptsRoot, found);
  SortIgnoringCase(found);
  names = found;
}

std::vector<PortEntry> ListPorts(const SystemRoots& roots) {
  namespace fs = std::filesystem;
  std::vector<PortEntry> entries;
  const std::map<QString, QStringList> byId = StableNames(roots.dev);
  for (const fs::path& tty : DeviceTtys(roots.sysfs)) {
    const QString name = QFile::decodeName(tty.filename().c_str());
    const std::optional<QString> usb = UsbDescription(roots.sysfs, tty);
    entries.push_back({name, usb ? *usb : OtherDeviceDescription(name, tty)});
    const auto links = byId.find(name);
    if (links == byId.end()) continue;
    for (const QString& link : links->second) {
      entries.push_back({link, QStringLiteral("%1, stable name of %2").arg(entries.back().description, name)});
    }
  }
  QStringList pseudoTerminals;
  if (!roots.dev.empty()) AppendPseudoTerminals(roots.dev / "pts", pseudoTerminals);
  if (!pseudoTerminals.isEmpty()) {
    const OpenDevices open(roots.proc);
    for (const QString& name : pseudoTerminals) {
      const QString owners = HoldersText(open.PseudoTerminalOwners(name.mid(4).toInt()));
      entries.push_back({name, owners.isEmpty() ? QStringLiteral("pseudo-terminal")
                                                : QStringLiteral("pseudo-terminal of %1").arg(owners)});
    }
  }
  std::stable_sort(entries.begin(), entries.end(), [](const PortEntry& a, const PortEntry& b) {
    return a.name.compare(b.name, Qt::CaseInsensitive) < 0;
  });
  return entries;
}

int FindPortEntry(const std::vector<PortEntry>& entries, const QString& portName) {
  if (portName.isEmpty()) return -1;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (entries[i].name.compare(portName, Qt::CaseInsensitive) == 0) return static_cast<int>(i);
  }
  const std::string device = DevicePathForPort(portName);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (DevicePathForPort(entries[i].name) == device) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace tessaly
