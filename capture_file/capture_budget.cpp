#include "capture_file/capture_budget.h"

#include "capture_file/capture_folder.h"
#include "capture_file/capture_recording.h"
#include "settings/program_key.h"
#include "settings/registry.h"

#include <QDir>
#include <QRegularExpression>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>

#include <algorithm>

namespace tessaly {
namespace {

constexpr const char* kMaxValue = "CaptureFolderMaxMegabytes";
constexpr const char* kFreeValue = "CaptureDiskMinFreePercent";
constexpr std::int64_t kMegabyte = 1024 * 1024;

}  // namespace

CaptureBudget ReadCaptureBudget(const std::filesystem::path& storeDirectory) {
  CaptureBudget budget;
  try {
    TRegistry store(storeDirectory);
    store.SetRootKey(RegistryRoot::CurrentUser);
    if (!store.OpenKey(kProgramKeyPath, false)) return budget;
    if (store.ValueExists(kMaxValue)) budget.maxMegabytes = std::max(1, store.ReadInteger(kMaxValue));
    if (store.ValueExists(kFreeValue)) budget.minFreePercent = std::clamp(store.ReadInteger(kFreeValue), 0, 99);
  } catch (const ERegistryException&) {
    // A damaged value: the defaults, which keep the disk safe.
  }
  return budget;
}

void WriteCaptureBudget(const std::filesystem::path& storeDirectory, const CaptureBudget& budget) {
  TRegistry store(storeDirectory);
  store.SetRootKey(RegistryRoot::CurrentUser);
  store.OpenKey(kProgramKeyPath, true);
  store.BeginWrites();
  store.WriteInteger(kMaxValue, budget.maxMegabytes);
  store.WriteInteger(kFreeValue, budget.minFreePercent);
  store.CommitWrites();
}

BudgetVerdict WeighCaptures(std::vector<CaptureFileEntry> files, const CaptureBudget& budget,
                            std::int64_t diskBytes, std::int64_t freeBytes) {
  std::sort(files.begin(), files.end(),
            [](const CaptureFileEntry& a, const CaptureFileEntry& b) { return a.written < b.written; });
  std::int64_t folderBytes = 0;
  for (const CaptureFileEntry& file : files) folderBytes += file.bytes;
  const std::int64_t mustStayFree = diskBytes / 100 * budget.minFreePercent;
  const auto kept = [&] {
    return folderBytes <= std::int64_t{budget.maxMegabytes} * kMegabyte && freeBytes >= mustStayFree;
  };
  BudgetVerdict verdict;
  for (const CaptureFileEntry& file : files) {
    if (kept()) break;
    if (file.inUse) continue;
    verdict.remove << file.path;
    folderBytes -= file.bytes;
    freeBytes += file.bytes;
  }
  verdict.cannotKeep = !kept();
  return verdict;
}

BudgetVerdict KeepCaptureBudget(const QString& folder, const QString& current, const CaptureBudget& budget) {
  std::vector<CaptureFileEntry> files;
  const QString markerSuffix = QString::fromStdString(UnfinishedMarkerOf(""));
  // Only what this program recorded counts or goes: a file the user put in
  // the folder is theirs, whatever its size.
  static const QRegularExpression kRecorded(QStringLiteral(R"(^tessaly-\d{4}-\d\d-\d\d-\d{6}.*\.pcapng$)"));
  for (const QFileInfo& file : QDir(folder).entryInfoList({QStringLiteral("tessaly-*.pcapng")}, QDir::Files)) {
    if (!kRecorded.match(file.fileName()).hasMatch() || file.isSymLink()) continue;
    // A file with a marker is being written (or waits to be offered after a
    // crash): neither may go unasked.
    const bool inUse = file.absoluteFilePath() == QFileInfo(current).absoluteFilePath() ||
                       QFileInfo::exists(file.filePath() + markerSuffix);
    files.push_back({file.filePath(), file.size(), file.lastModified(), inUse});
  }
  const QStorageInfo disk(folder);
  BudgetVerdict verdict = WeighCaptures(std::move(files), budget, disk.bytesTotal(), disk.bytesAvailable());
  for (const QString& path : verdict.remove) QFile::remove(path);
  return verdict;
}

}  // namespace tessaly
