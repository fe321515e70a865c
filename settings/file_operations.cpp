#include "settings/file_operations.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaly {

bool FileOperations::Permit(Step) { return true; }

FileDescriptor FileOperations::CreateTemporary(std::string& pattern) {
  if (!Permit(Step::CreateTemporary)) return FileDescriptor();
  return FileDescriptor(::mkostemp(pattern.data(), O_CLOEXEC));
}

bool FileOperations::SetMode(int fd, unsigned mode) { return Permit(Step::SetMode) && ::fchmod(fd, mode) == 0; }

bool FileOperations::Write(int fd, std::string_view text) { return Permit(Step::Write) && WriteWhole(fd, text); }

bool FileOperations::SyncFile(int fd) { return Permit(Step::SyncFile) && ::fsync(fd) == 0; }

bool FileOperations::CloseFile(FileDescriptor& file) {
  if (!Permit(Step::CloseFile)) {
    file.Close();
    return false;
  }
  return file.Close();
}

bool FileOperations::Rename(const std::filesystem::path& from, const std::filesystem::path& to) {
  return Permit(Step::Rename) && ::rename(from.c_str(), to.c_str()) == 0;
}

bool FileOperations::SyncFolder(const std::filesystem::path& folder) {
  return Permit(Step::SyncFolder) && SyncDirectory(folder);
}

bool FileOperations::Link(const std::filesystem::path& existing, const std::filesystem::path& name) {
  return Permit(Step::Link) && ::link(existing.c_str(), name.c_str()) == 0;
}

FileDescriptor FileOperations::CreateCopy(const std::filesystem::path& path, unsigned mode) {
  if (!Permit(Step::CreateCopy)) return FileDescriptor();
  return OpenFile(path, O_WRONLY | O_CREAT | O_EXCL, mode);
}

FileOperations& SystemFileOperations() {
  static FileOperations operations;
  return operations;
}

}  // namespace tessaly
