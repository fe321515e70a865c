#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "settings/posix_file.h"

namespace tessaly {

// The calls through which the store changes files on disk. They pass one
// hook, so that a test can see the order in which they run and make any of
// them fail as a full or failing disk would; file permissions cannot do
// that for a process that runs as root. The program uses
// SystemFileOperations(), whose hook lets every call through.
class FileOperations {
 public:
  enum class Step { CreateTemporary, SetMode, Write, SyncFile, CloseFile, Rename, SyncFolder, Link, CreateCopy };

  FileOperations() = default;
  virtual ~FileOperations() = default;
  FileOperations(const FileOperations&) = delete;
  FileOperations& operator=(const FileOperations&) = delete;

  // mkostemp(3): pattern ends in XXXXXX, which is replaced by the name made.
  FileDescriptor CreateTemporary(std::string& pattern);
  bool SetMode(int fd, unsigned mode);
  bool Write(int fd, std::string_view text);
  bool SyncFile(int fd);
  bool CloseFile(FileDescriptor& file);
  bool Rename(const std::filesystem::path& from, const std::filesystem::path& to);
  bool SyncFolder(const std::filesystem::path& folder);
  bool Link(const std::filesystem::path& existing, const std::filesystem::path& name);
  // A new file that must not exist yet, open for writing.
  FileDescriptor CreateCopy(const std::filesystem::path& path, unsigned mode);

 protected:
  // Runs before each call; returning false (with errno set) fails the call
  // without touching the disk.
  virtual bool Permit(Step step);
};

FileOperations& SystemFileOperations();

}  // namespace tessaly
