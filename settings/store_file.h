#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include "settings/registry_tree.h"

namespace tessaly {

// One root's file in the store folder. Readers take no lock: every change
// writes a complete new file and renames it over the old one, so a reader
// sees either the old file or the new one, never half of one. Changes run
// their read-modify-write under an exclusive lock of the file, so two
// running copies of the program never lose each other's values.
class StoreFile {
 public:
  StoreFile(std::filesystem::path directory, std::string fileName);

  const std::filesystem::path& Path() const { return path_; }

  // The keys as the file holds them now. A missing or unreadable file reads
  // as an empty store. A damaged file reads as empty too, and is moved aside
  // when the folder can be written, so that it is kept and never silently
  // overwritten.
  RegistryTree Read() const;

  // Whether the folder, and the file if it exists, may be written.
  bool Writable() const;

  // Reads the latest keys under the lock, lets `change` edit them and, when
  // it reports a change, puts the result on disk before returning. Returns
  // false when the store refuses: the folder cannot be created or written,
  // the lock cannot be had, or the new file cannot be written out.
  bool Update(const std::function<bool(RegistryTree&)>& change) const;

 private:
  bool ReplaceContents(const std::string& text, unsigned mode) const;
  bool KeepDamagedCopy(const std::string& contents) const;
  void RemoveLeftoverTemporaries() const;

  std::filesystem::path directory_;
  std::string fileName_;
  std::filesystem::path path_;
};

}  // namespace tessaly
