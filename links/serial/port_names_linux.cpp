#include "links/serial/port_names.h"

#include <QFile>

#include <algorithm>
#include <fstream>
#include <system_error>

#include "links/serial/com_error.h"
#include "links/serial/com_text.h"

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

}  // namespace

std::string DevicePathForPort(const QString& name) {
  if (name.startsWith(u'/')) return QFile::encodeName(name).toStdString();
  if (const int number = ComPortNumber(name); number >= 1) return "/dev/ttyS" + std::to_string(number - 1);
  return "/dev/" + QFile::encodeName(name).toStdString();
}

void ListPortNames(QStringList& names, const std::filesystem::path& sysfsRoot,
                   const std::filesystem::path& ptsRoot) {
  namespace fs = std::filesystem;
  std::error_code error;
  fs::directory_iterator entries(sysfsRoot / "class" / "tty", error);
  if (error) ThrowListFailure(error);

  QStringList found;
  for (const fs::directory_iterator end; entries != end; entries.increment(error)) {
    const fs::path& entry = entries->path();
    std::error_code ignored;
    // Virtual terminals, consoles and pseudo-terminals have no device.
    if (!fs::exists(entry / "device", ignored) || IsEmptyUartSlot(entry)) continue;
    found.append(QFile::decodeName(entry.filename().c_str()));
  }
  if (error) ThrowListFailure(error);
  AppendPseudoTerminals(ptsRoot, found);

  std::stable_sort(found.begin(), found.end(),
                   [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
  names = found;
}

}  // namespace tessaly
