#include "settings/store_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <ctime>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>

#include "settings/parsed_store_cache.h"
#include "settings/posix_file.h"
#include "settings/reg_file_format.h"

namespace tessaly {

namespace fs = std::filesystem;

namespace {

// How long a change waits for another copy of the program to finish its
// own. A write takes milliseconds; waiting longer would only freeze the
// window behind a copy that hangs (stopped in a debugger, say).
constexpr auto kLockWait = std::chrono::seconds(5);
constexpr auto kLockPoll = std::chrono::milliseconds(5);

constexpr unsigned kNewFileMode = 0666;  // narrowed by the umask
constexpr int kMostLinksFollowed = 40;   // as the kernel allows

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// The file the path names in the end: the path itself, or where its chain of
// symbolic links leads, whether or not a file exists there yet.
fs::path FollowLinks(fs::path path) {
  for (int hop = 0; hop < kMostLinksFollowed; ++hop) {
    std::error_code error;
    if (!fs::is_symlink(fs::symlink_status(path, error))) return path;
    const fs::path target = fs::read_symlink(path, error);
    if (error) return path;
    path = target.is_absolute() ? target : path.parent_path() / target;
  }
  return path;  // a loop: opening it fails, and the store holds nothing
}

// Opens the file (creating it empty if missing) and locks it exclusively.
// A writer that held the lock before us may have renamed a new file over
// the path meanwhile; the lock then sits on a file nobody reads any more, so
// we start again on the file the path names now.
std::optional<FileDescriptor> LockStoreFile(const fs::path& path) {
  const auto deadline = std::chrono::steady_clock::now() + kLockWait;
  while (std::chrono::steady_clock::now() < deadline) {
    // Opened for writing because network file systems grant an exclusive
    // lock only on such a descriptor.
    FileDescriptor file = OpenFile(path, O_RDWR | O_CREAT, kNewFileMode);
    if (!file.Valid()) return std::nullopt;
    while (::flock(file.Get(), LOCK_EX | LOCK_NB) != 0) {
      if (errno != EWOULDBLOCK && errno != EINTR) return std::nullopt;
      if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
      std::this_thread::sleep_for(kLockPoll);
    }
    struct stat locked {};
    struct stat current {};
    if (::fstat(file.Get(), &locked) == 0 && ::stat(path.c_str(), &current) == 0 && SameFile(locked, current)) {
      return file;
    }
  }
  return std::nullopt;
}

std::string LocalTimestamp() {
  const std::time_t now = std::time(nullptr);
  std::tm local {};
  ::localtime_r(&now, &local);
  char text[32];
  return std::string(text, std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local));
}

std::string TemporaryPrefix(const fs::path& target) { return "." + target.filename().string() + ".tmp-"; }
std::string DamagedPrefix(const fs::path& target) { return target.filename().string() + ".damaged-"; }

bool Writable(const fs::path& target) {
  if (::access(target.parent_path().c_str(), W_OK | X_OK) != 0) return false;
  return ::access(target.c_str(), W_OK) == 0 || errno == ENOENT;
}

// A writer that crashed between creating its new file and renaming it left
// the new file behind. Only lock holders create them, so under the lock any
// that exist are leftovers.
void RemoveLeftoverTemporaries(const fs::path& target) {
  const std::string prefix = TemporaryPrefix(target);
  std::error_code error;
  fs::directory_iterator entry(target.parent_path(), error);
  for (; !error && entry != fs::directory_iterator(); entry.increment(error)) {
    std::error_code ignored;  // a leftover that cannot be removed now is tried again next time
    if (entry->path().filename().string().starts_with(prefix)) fs::remove(entry->path(), ignored);
  }
}

// Whether a copy set aside earlier already holds these contents: the very
// file (a hard link to it) or the same bytes.
bool AlreadySetAside(const fs::path& target, const struct stat& status, const std::string& contents) {
  const std::string prefix = DamagedPrefix(target);
  std::error_code error;
  fs::directory_iterator entry(target.parent_path(), error);
  for (; !error && entry != fs::directory_iterator(); entry.increment(error)) {
    if (!entry->path().filename().string().starts_with(prefix)) continue;
    struct stat aside {};
    if (::lstat(entry->path().c_str(), &aside) != 0 || !S_ISREG(aside.st_mode)) continue;
    if (SameFile(aside, status)) return true;
    if (static_cast<std::size_t>(aside.st_size) != contents.size()) continue;
    const FileDescriptor copy = OpenFile(entry->path(), O_RDONLY);
    if (copy.Valid() && ReadFromStart(copy.Get(), contents.size()) == contents) return true;
  }
  return false;
}

timespec Now() {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  return now;
}

}  // namespace

StoreFile::StoreFile(fs::path directory, std::string fileName, FileOperations& operations)
    : directory_(std::move(directory)), path_(directory_ / fileName), operations_(&operations) {}

std::shared_ptr<const RegistryTree> StoreFile::Read() const {
  static const auto kEmpty = std::make_shared<const RegistryTree>();
  if (directory_.empty()) return kEmpty;
  const fs::path target = FollowLinks(path_);
  const FileDescriptor file = OpenFile(target, O_RDONLY);
  if (!file.Valid()) return kEmpty;
  const std::optional<ParsedStore> stored = ParsedStoreCache::Instance().Load(target.string(), file.Get());
  if (!stored) return kEmpty;
  if (stored->tree != nullptr) return stored->tree;
  // Update sets a damaged file aside under the lock, if it is still there
  // by then and the folder can be written; either way this read sees nothing.
  if (ParsedStoreCache::Instance().FirstNoticeOfDamage(target.string())) {
    Update([](RegistryTree&) { return false; });
  }
  return kEmpty;
}

bool StoreFile::Writable() const { return !directory_.empty() && tessaly::Writable(FollowLinks(path_)); }

bool StoreFile::Update(const std::function<bool(RegistryTree&)>& change) const {
  if (directory_.empty()) return false;
  std::error_code error;
  fs::create_directories(directory_, error);
  if (error) return false;
  const fs::path target = FollowLinks(path_);
  const std::optional<FileDescriptor> lock = LockStoreFile(target);
  if (!lock || !tessaly::Writable(target)) return false;
  RemoveLeftoverTemporaries(target);

  struct stat status {};
  // Without knowing what the file holds, replacing it could lose values.
  if (::fstat(lock->Get(), &status) != 0) return false;
  const std::optional<ParsedStore> stored = ParsedStoreCache::Instance().Load(target.string(), lock->Get());
  if (!stored) return false;
  const bool damaged = stored->tree == nullptr;
  if (damaged && !KeepDamagedCopy(target, status, *stored->text)) return false;
  RegistryTree tree = damaged ? RegistryTree() : *stored->tree;
  const bool changed = change(tree);
  if (!changed && !damaged) return true;
  return ReplaceContents(target, std::move(tree), status.st_mode & 0777);
}

// Writes a complete new file beside the old one and renames it over it: a
// crash at any moment leaves either the old file or the new one. The new
// file's bytes reach the disk before the rename, and the rename reaches it
// before the write is reported done.
bool StoreFile::ReplaceContents(const fs::path& target, RegistryTree tree, unsigned mode) const {
  const timespec writeStart = Now();
  auto text = std::make_shared<const std::string>(FormatRegFile(tree));
  // A file this large would be taken for a damaged one when next read.
  if (text->size() > kLargestStoreFile) return false;
  std::string temporary = (target.parent_path() / (TemporaryPrefix(target) + "XXXXXX")).string();
  FileDescriptor file = operations_->CreateTemporary(temporary);
  if (!file.Valid()) return false;
  struct stat written {};
  const bool replaced = operations_->SetMode(file.Get(), mode) && operations_->Write(file.Get(), *text) &&
                        operations_->SyncFile(file.Get()) && ::fstat(file.Get(), &written) == 0 &&
                        operations_->CloseFile(file) && operations_->Rename(temporary, target);
  if (!replaced) {
    ::unlink(temporary.c_str());
    return false;
  }
  ParsedStoreCache::Instance().Remember(target.string(), written, writeStart, std::move(text),
                                        std::make_shared<const RegistryTree>(std::move(tree)));
  return operations_->SyncFolder(target.parent_path());
}

// Keeps the damaged file under a new name (the same name with a suffix)
// before anything replaces it, unless a copy of the same contents is kept
// already. A hard link keeps the very file; where links are not supported
// the bytes read are copied instead.
bool StoreFile::KeepDamagedCopy(const fs::path& target, const struct stat& status, const std::string& contents) const {
  if (AlreadySetAside(target, status, contents)) return true;
  const fs::path folder = target.parent_path();
  const std::string stem = DamagedPrefix(target) + LocalTimestamp();
  for (int attempt = 1; attempt < 100; ++attempt) {
    const fs::path aside = folder / (attempt == 1 ? stem : stem + "-" + std::to_string(attempt));
    if (operations_->Link(target, aside)) return operations_->SyncFolder(folder);
    if (errno == EEXIST) continue;
    FileDescriptor copy = operations_->CreateCopy(aside, 0600);
    if (!copy.Valid()) {
      if (errno == EEXIST) continue;
      return false;
    }
    return operations_->Write(copy.Get(), contents) && operations_->SyncFile(copy.Get()) &&
           operations_->CloseFile(copy) && operations_->SyncFolder(folder);
  }
  return false;
}

}  // namespace tessaly
