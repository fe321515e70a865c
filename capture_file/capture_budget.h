#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <filesystem>
#include <vector>

namespace tessaly {

// How much disk the captures folder may take: at most maxMegabytes, and
// never so much that less than minFreePercent of its disk stays free,
// whichever is smaller. Kept in the user's part of the settings store.
struct CaptureBudget {
  static constexpr std::int32_t kDefaultMaxMegabytes = 2048;
  static constexpr std::int32_t kDefaultMinFreePercent = 5;
  std::int32_t maxMegabytes = kDefaultMaxMegabytes;
  std::int32_t minFreePercent = kDefaultMinFreePercent;
};

CaptureBudget ReadCaptureBudget(const std::filesystem::path& storeDirectory);
void WriteCaptureBudget(const std::filesystem::path& storeDirectory, const CaptureBudget& budget);

// A capture file as the budget weighs it.
struct CaptureFileEntry {
  QString path;
  std::int64_t bytes = 0;
  QDateTime written;
  bool inUse = false;  // being written, here or by another running window
};

// What must go, oldest first, for the folder to keep the budget on a disk of
// diskBytes with freeBytes free; files in use never go. cannotKeep: even
// without every file that may go the budget is exceeded.
struct BudgetVerdict {
  QStringList remove;
  bool cannotKeep = false;
};
BudgetVerdict WeighCaptures(std::vector<CaptureFileEntry> files, const CaptureBudget& budget,
                            std::int64_t diskBytes, std::int64_t freeBytes);

// Weighs the folder's capture files (current: the one being written) on
// their disk and removes what must go. Returns the verdict; a file that
// cannot be removed counts as kept.
BudgetVerdict KeepCaptureBudget(const QString& folder, const QString& current, const CaptureBudget& budget);

}  // namespace tessaly
