#include "settings/store_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <ctime>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>

#include "settings/posix_file.h"
#include "settings/reg_file_format.h"

namespace tessaly {

namespace {

// A store file is a few hundred bytes; anything beyond this is not one, and
// reading it whole could exhaust memory.
constexpr std::size_t kLargestStoreFile = 16 * 1024 * 1024;

// How long a change waits for another copy of the program to finish its
// own. A write takes milliseconds; waiting longer would only freeze the
// window behind a copy that hangs (stopped in a debugger, say).
constexpr auto kLockWait = std::chrono::seconds(5);
constexpr auto kLockPoll = std::chrono::milliseconds(5);

constexpr unsigned kNewFileMode = 0666;  // narrowed by the umask

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// Opens the file (creating it empty if missing) and locks it exclusively.
// A writer that held the lock before us may have renamed a new file over
// the path meanwhile; the lock then sits on a file nobody reads any more, so
// we start again on the file the path names now.
std::optional<FileDescriptor> LockStoreFile(const std::filesystem::path& path) {
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

std::string TemporaryPrefix(const std::string& fileName) { return "." + fileName + ".tmp-"; }

}  // namespace

StoreFile::StoreFile(std::filesystem::path directory, std::string fileName)
    : directory_(std::move(directory)), fileName_(std::move(fileName)), path_(directory_ / fileName_) {}

RegistryTree StoreFile::Read() const {
  if (directory_.empty()) return {};
  const FileDescriptor file = OpenFile(path_, O_RDONLY);
  if (!file.Valid()) return {};
  const std::optional<std::string> contents = ReadFromStart(file.Get(), kLargestStoreFile);
  if (!contents) return {};
  if (contents->size() <= kLargestStoreFile) {
    if (auto tree = ParseRegFile(*contents)) return std::move(*tree);
  }
  // Update sets a damaged file aside under the lock, if it is still there
  // by then and the folder can be written; either way this read sees nothing.
  Update([](RegistryTree&) { return false; });
  return {};
}

bool StoreFile::Writable() const {
  if (directory_.empty() || ::access(directory_.c_str(), W_OK | X_OK) != 0) return false;
  return ::access(path_.c_str(), W_OK) == 0 || errno == ENOENT;
}

bool StoreFile::Update(const std::function<bool(RegistryTree&)>& change) const {
  if (directory_.empty()) return false;
  std::error_code error;
  std::filesystem::create_directories(directory_, error);
  if (error) return false;
  const std::optional<FileDescriptor> lock = LockStoreFile(path_);
  if (!lock || !Writable()) return false;
  RemoveLeftoverTemporaries();

  struct stat status {};
  const std::optional<std::string> contents = ReadFromStart(lock->Get(), kLargestStoreFile);
  // Without knowing what the file holds, replacing it could lose values.
  if (!contents || ::fstat(lock->Get(), &status) != 0) return false;
  std::optional<RegistryTree> tree;
  if (contents->size() <= kLargestStoreFile) tree = ParseRegFile(*contents);
  const bool damaged = !tree;
  if (damaged) {
    if (!KeepDamagedCopy(*contents)) return false;
    tree.emplace();
  }
  const bool changed = change(*tree);
  if (!changed && !damaged) return true;
  const std::string text = FormatRegFile(*tree);
  // A file this large would be taken for a damaged one when next read.
  if (text.size() > kLargestStoreFile) return false;
  return ReplaceContents(text, status.st_mode & 0777);
}

// Writes a complete new file beside the old one and renames it over it: a
// crash at any moment leaves either the old file or the new one.
bool StoreFile::ReplaceContents(const std::string& text, unsigned mode) const {
  std::string temporary = (directory_ / (TemporaryPrefix(fileName_) + "XXXXXX")).string();
  FileDescriptor file(::mkostemp(temporary.data(), O_CLOEXEC));
  if (!file.Valid()) return false;
  const bool written = ::fchmod(file.Get(), mode) == 0 && WriteWhole(file.Get(), text) && ::fsync(file.Get()) == 0 &&
                       file.Close() && ::rename(temporary.c_str(), path_.c_str()) == 0;
  if (!written) {
    ::unlink(temporary.c_str());
    return false;
  }
  return SyncDirectory(directory_);
}

// Keeps the damaged file under a new name (the same name with a suffix) before
// anything replaces it. A hard link keeps the very file; where links are not
// supported the bytes read are copied instead.
bool StoreFile::KeepDamagedCopy(const std::string& contents) const {
  const std::string stem = fileName_ + ".damaged-" + LocalTimestamp();
  for (int attempt = 1; attempt < 100; ++attempt) {
    const std::filesystem::path aside = directory_ / (attempt == 1 ? stem : stem + "-" + std::to_string(attempt));
    if (::link(path_.c_str(), aside.c_str()) == 0) return SyncDirectory(directory_);
    if (errno == EEXIST) continue;
    FileDescriptor copy = OpenFile(aside, O_WRONLY | O_CREAT | O_EXCL, 0600);
    if (!copy.Valid()) {
      if (errno == EEXIST) continue;
      return false;
    }
    return WriteWhole(copy.Get(), contents) && ::fsync(copy.Get()) == 0 && copy.Close() && SyncDirectory(directory_);
  }
  return false;
}

// A writer that crashed between creating its new file and renaming it left
// the new file behind. Only lock holders create them, so under the lock any
// that exist are leftovers.
void StoreFile::RemoveLeftoverTemporaries() const {
  const std::string prefix = TemporaryPrefix(fileName_);
  std::error_code error;
  std::filesystem::directory_iterator entry(directory_, error);
  for (; !error && entry != std::filesystem::directory_iterator(); entry.increment(error)) {
    std::error_code ignored;  // a leftover that cannot be removed now is tried again next time
    if (entry->path().filename().string().starts_with(prefix)) std::filesystem::remove(entry->path(), ignored);
  }
}

}  // namespace tessaly
