#include "settings/posix_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace tessaly {

FileDescriptor::~FileDescriptor() { Close(); }

FileDescriptor::FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

bool FileDescriptor::Close() {
  if (fd_ < 0) return true;
  // Linux releases the descriptor even when close fails, so it is never retried.
  return ::close(std::exchange(fd_, -1)) == 0;
}

FileDescriptor OpenFile(const std::filesystem::path& path, int flags, unsigned mode) {
  int fd = -1;
  do {
    fd = ::open(path.c_str(), flags | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  return FileDescriptor(fd);
}

std::optional<std::string> ReadFromStart(int fd, std::size_t limit) {
  std::string contents;
  char chunk[16 * 1024];
  off_t offset = 0;
  while (contents.size() <= limit) {
    const ssize_t count = ::pread(fd, chunk, sizeof chunk, offset);
    if (count < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    if (count == 0) break;
    contents.append(chunk, static_cast<std::size_t>(count));
    offset += count;
  }
  if (contents.size() > limit + 1) contents.resize(limit + 1);
  return contents;
}

bool WriteWhole(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t count = ::write(fd, text.data(), text.size());
    if (count < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    text.remove_prefix(static_cast<std::size_t>(count));
  }
  return true;
}

bool SyncDirectory(const std::filesystem::path& directory) {
  FileDescriptor folder = OpenFile(directory, O_RDONLY | O_DIRECTORY);
  return folder.Valid() && ::fsync(folder.Get()) == 0 && folder.Close();
}

}  // namespace tessaly
