#include "settings/registry.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "settings/reg_file_format.h"
#include "settings/store_file.h"

namespace tessaly {

namespace {

std::string NamedMessage(std::string_view pattern, const std::string& name) {
  std::string message(pattern);
  return message.replace(message.find("%s"), 2, name);
}

[[noreturn]] void FailGet(const std::string& name) {
  throw ERegistryException(NamedMessage("Failed to get data for '%s'", name));
}
[[noreturn]] void FailSet(const std::string& name) {
  throw ERegistryException(NamedMessage("Failed to set data for '%s'", name));
}
[[noreturn]] void FailType(const std::string& name) {
  throw ERegistryException(NamedMessage("Invalid data type for '%s'", name));
}

std::string_view RootName(RegistryRoot root) {
  return root == RegistryRoot::LocalMachine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
}

std::string_view RootFileName(RegistryRoot root) {
  return root == RegistryRoot::LocalMachine ? "local-machine.reg" : "current-user.reg";
}

}  // namespace

TRegistry::TRegistry(std::filesystem::path storeDirectory, FileOperations& operations)
    : directory_(std::move(storeDirectory)), operations_(&operations) {}

TRegistry::~TRegistry() = default;

void TRegistry::SetRootKey(RegistryRoot root) {
  CloseKey();
  root_ = root;
}

StoreFile TRegistry::File() const { return StoreFile(directory_, std::string(RootFileName(root_)), *operations_); }

std::string TRegistry::FullKeyPath() const {
  return path_.empty() ? std::string(RootName(root_)) : std::string(RootName(root_)) + '\\' + path_;
}

bool TRegistry::OpenKey(const std::string& path, bool canCreate) {
  CloseKey();
  if (!IsStorableName(path)) return false;
  path_ = NormalizedKeyPath(path);
  const std::string fullPath = FullKeyPath();
  const StoreFile file = File();
  bool opened = file.Writable() && file.Read()->KeyExists(fullPath);
  if (!opened && canCreate) {
    opened = file.Update([&](RegistryTree& tree) {
      if (tree.KeyExists(fullPath)) return false;  // another copy of the program was quicker
      tree.EnsureKey(fullPath);
      return true;
    });
  }
  if (!opened) path_.clear();
  open_ = opened;
  return opened;
}

void TRegistry::CloseKey() {
  open_ = false;
  path_.clear();
}

// The value as the file holds it now; nothing when no key is open, or when
// another copy of the program has meanwhile removed the key or the value.
std::optional<RegistryValue> TRegistry::FindOpenValue(const std::string& name) const {
  if (!open_) return std::nullopt;
  const std::shared_ptr<const RegistryTree> tree = File().Read();
  const RegistryKey* key = tree->FindKey(FullKeyPath());
  const RegistryValue* value = key == nullptr ? nullptr : key->FindValue(name);
  if (value == nullptr) return std::nullopt;
  return *value;
}

std::string TRegistry::ReadString(const std::string& name) const {
  const std::optional<RegistryValue> value = FindOpenValue(name);
  if (!value || value->data.empty()) return {};
  if (value->type != RegistryDataType::String && value->type != RegistryDataType::ExpandString) FailType(name);
  const auto end = std::ranges::find(value->data, std::uint8_t{0});
  return std::string(value->data.begin(), end);
}

std::int32_t TRegistry::ReadInteger(const std::string& name) const {
  const std::optional<RegistryValue> value = FindOpenValue(name);
  if (!value || value->data.size() > sizeof(std::int32_t)) FailGet(name);
  if (value->type != RegistryDataType::Integer) FailType(name);
  // Shorter data fills the low bytes; the rest stays zero.
  std::uint32_t bits = 0;
  for (std::size_t i = 0; i < value->data.size(); ++i) bits |= std::uint32_t{value->data[i]} << (8 * i);
  return static_cast<std::int32_t>(bits);
}

bool TRegistry::ValueExists(const std::string& name) const { return FindOpenValue(name).has_value(); }

void TRegistry::WriteValue(const std::string& name, RegistryDataType type, std::vector<std::uint8_t> data) {
  if (!open_ || !IsStorableName(name)) FailSet(name);
  const std::string fullPath = FullKeyPath();
  const bool stored = File().Update([&](RegistryTree& tree) {
    tree.EnsureKey(fullPath).SetValue(RegistryValue{name, type, data});
    return true;
  });
  if (!stored) FailSet(name);
}

void TRegistry::WriteString(const std::string& name, const std::string& value) {
  WriteValue(name, RegistryDataType::String, StringData(value));
}

void TRegistry::WriteExpandString(const std::string& name, const std::string& value) {
  WriteValue(name, RegistryDataType::ExpandString, StringData(value));
}

void TRegistry::WriteInteger(const std::string& name, std::int32_t value) {
  const auto bits = static_cast<std::uint32_t>(value);
  WriteValue(name, RegistryDataType::Integer,
             {static_cast<std::uint8_t>(bits), static_cast<std::uint8_t>(bits >> 8), static_cast<std::uint8_t>(bits >> 16),
              static_cast<std::uint8_t>(bits >> 24)});
}

void TRegistry::WriteBinaryData(const std::string& name, const std::vector<std::uint8_t>& data) {
  WriteValue(name, RegistryDataType::Binary, data);
}

}  // namespace tessaly
