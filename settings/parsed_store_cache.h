#pragma once

#include <sys/stat.h>

#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "settings/registry_tree.h"

namespace tessaly {

// A store file's text and the keys parsed from it; tree is null when the
// text is not a store file (damaged, or larger than the store accepts).
struct ParsedStore {
  std::shared_ptr<const std::string> text;
  std::shared_ptr<const RegistryTree> tree;
};

// Keeps each store file's parsed keys for as long as the file stays the
// same, so that the many short-lived handles of a run parse it once.
//
// A file counts as unchanged while its device, inode, size and modification
// time are. That check alone cannot see a change made in place within the
// file system's time granularity of the last look (same size, same time
// stamp); so while the modification time is that recent, the file is read
// again and compared byte for byte with the text kept, which still costs
// far less than parsing it.
class ParsedStoreCache {
 public:
  static ParsedStoreCache& Instance();

  // The contents of the open file fd, known by path; nullopt when it cannot
  // be read.
  std::optional<ParsedStore> Load(const std::string& path, int fd);

  // After a write: the file now at path holds text, whose keys are tree.
  // status is the new file's, taken after its last byte was written, and
  // writeStart the time before the write began.
  void Remember(const std::string& path, const struct stat& status, const timespec& writeStart,
                std::shared_ptr<const std::string> text, std::shared_ptr<const RegistryTree> tree);

  // True once for each damaged file kept: whether it is the first time this
  // process notices it, so that it tries to set it aside only once.
  bool FirstNoticeOfDamage(const std::string& path);

  // Drops everything kept, as a fresh process would start.
  void Clear();

 private:
  struct Entry {
    struct stat status {};
    timespec verifiedAt{};  // when the file was last known to hold text
    ParsedStore contents;
    bool damageNoticed = false;
  };

  std::mutex mutex_;
  std::map<std::string, Entry> entries_;
};

}  // namespace tessaly
