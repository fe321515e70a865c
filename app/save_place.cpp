#include "app/save_place.h"

#include "settings/program_key.h"
#include "settings/registry.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <utility>

namespace tessaly {
namespace {

bool IsLogType(const QString& extension) {
  return extension == QLatin1String("txt") || extension == QLatin1String("csv") ||
         extension == QLatin1String("pcap") || extension == QLatin1String("pcapng");
}

// The current user's string value, or the empty text when it is missing or
// cannot be read (an integer, a damaged file): nothing to propose is no
// reason to refuse a save.
QString ReadUserString(const std::filesystem::path& storeDirectory, const char* name) {
  try {
    TRegistry store(storeDirectory);
    store.SetRootKey(RegistryRoot::CurrentUser);
    if (!store.OpenKey(kProgramKeyPath, false) || !store.ValueExists(name)) return {};
    return QString::fromStdString(store.ReadString(name));
  } catch (const ERegistryException&) {
    return {};
  }
}

}  // namespace

SavePlace::SavePlace(std::filesystem::path storeDirectory)
    : storeDirectory_(std::move(storeDirectory)) {}

QString SavePlace::Folder() const {
  const QString folder = ReadUserString(storeDirectory_, kFolderValue);
  if (folder.isEmpty() || !QFileInfo(folder).isDir()) return QDir::homePath();
  return folder;
}

QString SavePlace::Type() const {
  const QString type = ReadUserString(storeDirectory_, kTypeValue);
  return IsLogType(type) ? type : QStringLiteral("txt");
}

void SavePlace::Remember(const QString& fileName) const {
  const QFileInfo file(fileName);
  const QString type = file.suffix().toLower();
  TRegistry store(storeDirectory_);
  store.SetRootKey(RegistryRoot::CurrentUser);
  store.OpenKey(kProgramKeyPath, true);
  store.WriteString(kFolderValue, file.absolutePath().toStdString());
  if (IsLogType(type)) store.WriteString(kTypeValue, type.toStdString());
}
}  // namespace tessaly
