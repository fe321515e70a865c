#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "settings/file_operations.h"
#include "settings/registry_tree.h"

namespace tessaly {

// One root's file in the store folder. Readers take no lock: every change
// writes a complete new file and renames it over the old one, so a reader
// sees either the old file or the new one, never half of one. Changes run
// their read-modify-write under an exclusive lock of the file, so two
// running copies of the program never lose each other's values.
//
// The file may be a symbolic link (to a file kept with other configuration,
// say): it is then read through the link, and changes replace the file the
// link leads to, in that file's folder, so the link stays a link.
class StoreFile {
 public:
  StoreFile(std::filesystem::path directory, std::string fileName,
            FileOperations& operations = SystemFileOperations());

  const std::filesystem::path& Path() const { return path_; }

  // The keys as the file holds them now; parsed once and kept while the
  // file stays the same. A missing or unreadable file reads as an empty
  // store. A damaged file reads as empty too, and is set aside when the
  // folder can be written, so that it is kept and never silently
  // overwritten.
  std::shared_ptr<const RegistryTree> Read() const;

  // Whether the folder, and the file if it exists, may be written.
  bool Writable() const;

  // Reads the latest keys under the lock, lets `change` edit a copy and,
  // when it reports a change, puts the result on disk before returning.
  // Returns false when the store refuses: the folder cannot be created or
  // written, the lock cannot be had, or the new file cannot be written out.
  bool Update(const std::function<bool(RegistryTree&)>& change) const;

 private:
  bool ReplaceContents(const std::filesystem::path& target, RegistryTree tree, unsigned mode) const;
  bool KeepDamagedCopy(const std::filesystem::path& target, const struct stat& status,
                       const std::string& contents) const;

  std::filesystem::path directory_;
  std::filesystem::path path_;
  FileOperations* operations_;
};

}  // namespace tessaly
