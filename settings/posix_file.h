#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tessaly {

// Owns one open file descriptor and closes it when it goes.
class FileDescriptor {
 public:
  FileDescriptor() = default;
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor();
  FileDescriptor(FileDescriptor&& other) noexcept;
  FileDescriptor& operator=(FileDescriptor&& other) noexcept;
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;

  int Get() const { return fd_; }
  bool Valid() const { return fd_ >= 0; }
  // Closes now and tells whether the close succeeded; a failed close can
  // mean that written data did not reach the disk.
  bool Close();

 private:
  int fd_ = -1;
};

// open(2), retried when a signal interrupts it; invalid on failure.
FileDescriptor OpenFile(const std::filesystem::path& path, int flags, unsigned mode = 0);

// Everything from the file's start, but no more than limit + 1 bytes, so
// that the caller can tell a file larger than limit; nullopt on a read error.
std::optional<std::string> ReadFromStart(int fd, std::size_t limit);

// Writes all of text, continuing after partial writes and interruptions.
bool WriteWhole(int fd, std::string_view text);

// Puts the folder's entries (new names, renames) on disk.
bool SyncDirectory(const std::filesystem::path& directory);

}  // namespace tessaly
