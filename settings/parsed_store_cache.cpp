#include "settings/parsed_store_cache.h"

#include <utility>

#include "settings/posix_file.h"
#include "settings/reg_file_format.h"

namespace tessaly {

namespace {

// Coarser than any local file system's time stamps and than the two
// seconds of the coarsest ones, with room for a network file server's clock.
constexpr std::time_t kTimeStampDoubt = 3;

bool SameFileState(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
         a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// Whether a change made after `verifiedAt` could have left the same
// modification time as `status` holds.
bool ModifiedTooRecently(const struct stat& status, const timespec& verifiedAt) {
  return status.st_mtim.tv_sec + kTimeStampDoubt >= verifiedAt.tv_sec;
}

timespec Now() {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  return now;
}

}  // namespace

ParsedStoreCache& ParsedStoreCache::Instance() {
  static ParsedStoreCache cache;
  return cache;
}

std::optional<ParsedStore> ParsedStoreCache::Load(const std::string& path, int fd) {
  struct stat status {};
  const timespec readStart = Now();
  if (::fstat(fd, &status) != 0) return std::nullopt;
  std::shared_ptr<const std::string> keptText;
  {
    const std::lock_guard lock(mutex_);
    const auto found = entries_.find(path);
    if (found != entries_.end()) {
      if (SameFileState(found->second.status, status) && !ModifiedTooRecently(status, found->second.verifiedAt)) {
        return found->second.contents;
      }
      keptText = found->second.contents.text;
    }
  }
  std::optional<std::string> text = ReadFromStart(fd, kLargestStoreFile);
  if (!text) return std::nullopt;

  const std::lock_guard lock(mutex_);
  Entry& entry = entries_[path];
  if (keptText != nullptr && *keptText == *text && entry.contents.text == keptText) {
    entry.status = status;
    entry.verifiedAt = readStart;
    return entry.contents;
  }
  std::shared_ptr<const RegistryTree> tree;
  if (text->size() <= kLargestStoreFile) {
    if (auto parsed = ParseRegFile(*text)) tree = std::make_shared<const RegistryTree>(std::move(*parsed));
  }
  entry = Entry{status, readStart, {std::make_shared<const std::string>(std::move(*text)), std::move(tree)}, false};
  return entry.contents;
}

void ParsedStoreCache::Remember(const std::string& path, const struct stat& status, const timespec& writeStart,
                                std::shared_ptr<const std::string> text, std::shared_ptr<const RegistryTree> tree) {
  const std::lock_guard lock(mutex_);
  entries_[path] = Entry{status, writeStart, {std::move(text), std::move(tree)}, false};
}

bool ParsedStoreCache::FirstNoticeOfDamage(const std::string& path) {
  const std::lock_guard lock(mutex_);
  const auto found = entries_.find(path);
  if (found == entries_.end() || found->second.contents.tree != nullptr) return false;
  return !std::exchange(found->second.damageNoticed, true);
}

void ParsedStoreCache::Clear() {
  const std::lock_guard lock(mutex_);
  entries_.clear();
}

}  // namespace tessaly
