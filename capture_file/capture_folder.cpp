#include "capture_file/capture_folder.h"

#include "settings/store_directory.h"

#include "capture_file/capture_recording.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace tessaly {
namespace {

const QString kExtension = QStringLiteral(".pcapng");

// The folder of the user's captures is the user's alone.
void MakePrivateFolder(const QString& folder) {
  QDir().mkpath(folder);
  QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

}  // namespace

QString CaptureFolder() {
  const std::filesystem::path data = DefaultDataDirectory();
  // Without a home folder of its own the user still gets a place Qt knows.
  if (data.empty()) return QDir::homePath() + QStringLiteral("/.local/share/tessaly/captures");
  return QString::fromStdString((data / "captures").string());
}

std::string NewCapturePath(const QString& folder, PacketTime start, const QString& where) {
  MakePrivateFolder(folder);
  const QString base = folder + u'/' + ProposedLogName(start, where);
  QString path = base + kExtension;
  for (int n = 2; QFileInfo::exists(path); ++n) path = base + u'-' + QString::number(n) + kExtension;
  return QFile::encodeName(path).toStdString();
}

std::optional<QString> UnfinishedCapture(const QString& folder) {
  const QString markerSuffix = QString::fromStdString(UnfinishedMarkerOf(""));
  std::optional<QString> newest;
  QDateTime newestTime;
  const QFileInfoList markers =
      QDir(folder).entryInfoList({QStringLiteral("*") + kExtension + markerSuffix}, QDir::Files);
  for (const QFileInfo& marker : markers) {
    const QString capture = marker.filePath().chopped(markerSuffix.size());
    if (!QFileInfo::exists(capture)) {
      QFile::remove(marker.filePath());
      continue;
    }
    // Another window still capturing into the same folder: not cut off.
    if (UnfinishedMarkerHeld(QFile::encodeName(marker.filePath()).toStdString())) continue;
    const QDateTime written = QFileInfo(capture).lastModified();
    if (!newest || written > newestTime) {
      newest = capture;
      newestTime = written;
    }
  }
  return newest;
}

void ForgetUnfinished(const QString& path) {
  QFile::remove(QString::fromStdString(UnfinishedMarkerOf(QFile::encodeName(path).toStdString())));
}

QString ProposedLogName(PacketTime captureStart, const QString& link) {
  const QDateTime start = QDateTime::fromMSecsSinceEpoch(captureStart / 1000);
  QString where = link.trimmed();
  if (where.startsWith(QLatin1String("/dev/"))) where.remove(0, 5);
  for (QChar& c : where) {
    const bool plain = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                       (c >= u'0' && c <= u'9') || c == u'.' || c == u'_' || c == u'-';
    if (!plain) c = u'-';
  }
  QString name = QStringLiteral("tessaly-") + start.toString(QStringLiteral("yyyy-MM-dd-HHmmss"));
  if (!where.isEmpty()) name += u'-' + where;
  return name;
}

}  // namespace tessaly
