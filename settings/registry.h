#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "settings/file_operations.h"
#include "settings/registry_tree.h"
#include "settings/store_directory.h"

namespace tessaly {

class StoreFile;

// Failure of a settings store operation; the message names the value.
class ERegistryException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The two roots a handle can work under. Each root is one file of the store:
// "current-user.reg" and "local-machine.reg" in the store folder.
enum class RegistryRoot { CurrentUser, LocalMachine };

// A handle on the settings store: a root, at most one open key, and the
// typed values under it. Names of keys and values compare without regard to
// ASCII case and keep the case they were first written with. Every write is
// on disk before it returns, unless it belongs to a group of writes (see
// BeginWrites); every read sees the latest file, parsed once for all
// handles while it stays the same.
class TRegistry {
 public:
  explicit TRegistry(std::filesystem::path storeDirectory = DefaultStoreDirectory(),
                     FileOperations& operations = SystemFileOperations());
  ~TRegistry();
  TRegistry(const TRegistry&) = delete;
  TRegistry& operator=(const TRegistry&) = delete;

  RegistryRoot RootKey() const { return root_; }
  void SetRootKey(RegistryRoot root);  // closes an open key

  // Opens a backslash-separated key path, always counted from the root, with
  // read and write access, creating missing keys when canCreate is set.
  // Returns false, without reporting anything, when the key is missing (and
  // cannot be created) or the store may not be written. A key on file opens
  // without writing anything, so a store whose writes fail (a full disk)
  // still shows what it holds.
  bool OpenKey(const std::string& path, bool canCreate);
  void CloseKey();
  bool HasOpenKey() const { return open_; }
  const std::string& CurrentPath() const { return path_; }

  // Missing value, empty data or no open key: "". A non-empty value of
  // another type than string or expandable string: "Invalid data type for
  // '<name>'". The text ends at its first zero byte.
  std::string ReadString(const std::string& name) const;
  // Missing value or data longer than 4 bytes: "Failed to get data for
  // '<name>'"; another type that fits: "Invalid data type for '<name>'".
  std::int32_t ReadInteger(const std::string& name) const;
  bool ValueExists(const std::string& name) const;

  // Replace any value of that name, whatever its type. "Failed to set data
  // for '<name>'" when no key is open, the store refuses the write, or the
  // name holds a line break or a zero byte, which the store file cannot
  // carry.
  void WriteString(const std::string& name, const std::string& value);
  void WriteExpandString(const std::string& name, const std::string& value);
  void WriteInteger(const std::string& name, std::int32_t value);
  void WriteBinaryData(const std::string& name, const std::vector<std::uint8_t>& data);

  // Values that belong together are written together: from BeginWrites on,
  // writes (and keys that OpenKey creates) are only gathered, and reads
  // through this handle see them; CommitWrites puts them all on disk in one
  // replacement of each root's file, or none of them: a crash or a refusal
  // never leaves half a group. A failure names the first value gathered.
  // Dropped unwritten when the handle goes without CommitWrites.
  void BeginWrites();
  void CommitWrites();

 private:
  // A gathered write: a value, or only the key it lives in.
  struct PendingWrite {
    RegistryRoot root;
    std::string keyPath;
    std::optional<RegistryValue> value;
  };

  StoreFile File() const;
  std::string FullKeyPath() const;
  std::optional<RegistryValue> FindOpenValue(const std::string& name) const;
  bool PendingKey(const std::string& fullPath) const;
  void WriteValue(const std::string& name, RegistryDataType type, std::vector<std::uint8_t> data);

  std::filesystem::path directory_;
  FileOperations* operations_;
  RegistryRoot root_ = RegistryRoot::CurrentUser;
  bool open_ = false;
  std::string path_;
  std::optional<std::vector<PendingWrite>> pending_;
};

}  // namespace tessaly
