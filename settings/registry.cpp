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
  bool opened = file.Writable() && (file.Read()->KeyExists(fullPath) || PendingKey(fullPath));
  if (!opened && canCreate && pending_ && file.Writable()) {
    pending_->push_back({root_, fullPath, std::nullopt});
    opened = true;
  } else if (!opened && canCreate) {
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
  if (pending_) {
    const std::string fullPath = FullKeyPath();
    for (auto write = pending_->rbegin(); write != pending_->rend(); ++write) {
      if (write->root == root_ && write->value && SameName(write->keyPath, fullPath) &&
          SameName(write->value->name, name)) {
        return write->value;
      }
    }
  }
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
  if (pending_) {
    pending_->push_back({root_, fullPath, RegistryValue{name, type, std::move(data)}});
    return;
  }
  const bool stored = File().Update([&](RegistryTree& tree) {
    tree.EnsureKey(fullPath).SetValue(RegistryValue{name, type, data});
    return true;
  });
  if (!stored) FailSet(name);
}

bool TRegistry::PendingKey(const std::string& fullPath) const {
  if (!pending_) return false;
  return std::ranges::any_of(*pending_, [&](const PendingWrite& write) {
    return write.root == root_ && SameName(write.keyPath, fullPath);
  });
}

void TRegistry::BeginWrites() {
  if (!pending_) pending_.emplace();
}

void TRegistry::CommitWrites() {
  if (!pending_) return;
  const std::vector<PendingWrite> writes = std::move(*pending_);
  pending_.reset();
  if (writes.empty()) return;
  const std::string firstName = writes.front().value ? writes.front().value->name : writes.front().keyPath;
  // One file a root; this program's groups stay within one.
  for (const RegistryRoot root : {RegistryRoot::CurrentUser, RegistryRoot::LocalMachine}) {
    const bool any = std::ranges::any_of(writes, [root](const PendingWrite& write) { return write.root == root; });
    if (!any) continue;
    const StoreFile file(directory_, std::string(RootFileName(root)), *operations_);
    const bool stored = file.Update([&](RegistryTree& tree) {
      for (const PendingWrite& write : writes) {
        if (write.root != root) continue;
        RegistryKey& key = tree.EnsureKey(write.keyPath);
        if (write.value) key.SetValue(*write.value);
      }
      return true;
    });
    if (!stored) FailSet(firstName);
  }
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
