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

}  // namespace

std::string DevicePathForPort(const QString& name) {
  if (name.startsWith(u'/')) return QFile::encodeName(name).toStdString();
  if (const int number = ComPortNumber(name); number >= 1) return "/dev/ttyS" + std::to_string(number - 1);
  return "/dev/" + QFile::encodeName(name).toStdString();
}

void ListPortNames(QStringList& names, const std::filesystem::path& sysfsRoot) {
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

  std::stable_sort(found.begin(), found.end(),
                   [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
  names = found;
}

}  // namespace tessaly
