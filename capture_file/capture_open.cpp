#include "capture_file/capture_open.h"

#include "settings/program_key.h"
#include "settings/registry.h"

#include <QDateTime>
#include <QFileInfo>

namespace tessaly {
namespace {

constexpr const char* kRecentKey = "RecentCaptures";

std::string RecentKeyPath() { return std::string(kProgramKeyPath) + "\\" + kRecentKey; }

std::string RecentValueName(int index) { return "File" + std::to_string(index + 1); }

QString LocalText(PacketTime at, const QString& format) {
  return QDateTime::fromMSecsSinceEpoch(at / 1000).toString(format);
}

}  // namespace

QString UnfinishedCaptureQuestion(const CaptureSpan& span) {
  QString when;
  if (span.packets > 0) {
    const bool sameDay =
        LocalText(span.start, QStringLiteral("yyyyMMdd")) == LocalText(span.end, QStringLiteral("yyyyMMdd"));
    when = QStringLiteral(", %1\u2013%2")
               .arg(LocalText(span.start, QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                    LocalText(span.end, sameDay ? QStringLiteral("HH:mm:ss") : QStringLiteral("yyyy-MM-dd HH:mm:ss")));
  }
  return QStringLiteral("The last capture (%1 packets%2) was not closed. Open it?").arg(span.packets).arg(when);
}

QStringList RecentCaptures(const std::filesystem::path& storeDirectory) {
  QStringList files;
  try {
    TRegistry store(storeDirectory);
    store.SetRootKey(RegistryRoot::CurrentUser);
    if (!store.OpenKey(RecentKeyPath(), false)) return files;
    for (int i = 0; i < kRecentCaptures; ++i) {
      if (!store.ValueExists(RecentValueName(i))) break;
      const QString file = QString::fromStdString(store.ReadString(RecentValueName(i)));
      if (!file.isEmpty()) files << file;
    }
  } catch (const ERegistryException&) {
    // A list that cannot be read is an empty list: it only saves typing.
  }
  return files;
}

void RememberRecentCapture(const std::filesystem::path& storeDirectory, const QString& path) {
  QStringList files = RecentCaptures(storeDirectory);
  const QString file = QFileInfo(path).absoluteFilePath();
  files.removeAll(file);
  files.prepend(file);
  TRegistry store(storeDirectory);
  store.SetRootKey(RegistryRoot::CurrentUser);
  store.OpenKey(RecentKeyPath(), true);
  store.BeginWrites();
  for (int i = 0; i < kRecentCaptures; ++i) {
    store.WriteString(RecentValueName(i), i < files.size() ? files[i].toStdString() : std::string());
  }
  store.CommitWrites();
}

}  // namespace tessaly
