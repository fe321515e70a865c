#include "settings/registry_tree.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace tessaly {

namespace {

char FoldAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

std::string JoinKeyPath(const std::vector<std::string>& parts, std::size_t count) {
  std::string path;
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0) path += '\\';
    path += parts[i];
  }
  return path;
}

// True when path is a proper ancestor of descendant, both normalised.
bool IsAncestorOf(std::string_view path, std::string_view descendant) {
  return descendant.size() > path.size() && descendant[path.size()] == '\\' &&
         SameName(descendant.substr(0, path.size()), path);
}

// Shared by the const and non-const lookups: the first element whose name
// matches, or null.
template <typename Range>
auto FindNamed(Range& range, std::string_view name, auto nameOf) -> decltype(&*std::ranges::begin(range)) {
  const auto found = std::ranges::find_if(range, [&](const auto& item) { return SameName(nameOf(item), name); });
  return found == std::ranges::end(range) ? nullptr : &*found;
}

const std::string& KeyPathOf(const RegistryKey& key) { return key.path; }
const std::string& ValueNameOf(const RegistryValue& value) { return value.name; }

}  // namespace

std::vector<std::uint8_t> StringData(std::string_view text) {
  std::vector<std::uint8_t> data(text.begin(), text.end());
  data.push_back(0);
  return data;
}

bool SameName(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, [](char x, char y) { return FoldAscii(x) == FoldAscii(y); });
}

std::vector<std::string> SplitKeyPath(std::string_view path) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    const std::size_t end = std::min(path.find('\\', start), path.size());
    if (end > start) parts.emplace_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

std::string NormalizedKeyPath(std::string_view path) {
  const std::vector<std::string> parts = SplitKeyPath(path);
  return JoinKeyPath(parts, parts.size());
}

const RegistryKey* FindKey(const RegistryTree& tree, std::string_view path) {
  return FindNamed(tree.keys, NormalizedKeyPath(path), KeyPathOf);
}

RegistryKey* FindKey(RegistryTree& tree, std::string_view path) {
  return FindNamed(tree.keys, NormalizedKeyPath(path), KeyPathOf);
}

bool KeyExists(const RegistryTree& tree, std::string_view path) {
  const std::string wanted = NormalizedKeyPath(path);
  return std::ranges::any_of(tree.keys, [&](const RegistryKey& key) {
    return SameName(key.path, wanted) || IsAncestorOf(wanted, key.path);
  });
}

RegistryKey& EnsureKey(RegistryTree& tree, std::string_view path) {
  const std::vector<std::string> parts = SplitKeyPath(path);
  if (parts.empty()) throw std::invalid_argument("a key path names at least its root");
  std::string spelled;  // the path so far, in the case already on file
  for (std::size_t count = 1; count <= parts.size(); ++count) {
    const std::string wanted = JoinKeyPath(parts, count);
    std::string next = spelled.empty() ? parts[count - 1] : spelled + '\\' + parts[count - 1];
    for (const RegistryKey& key : tree.keys) {
      if (SameName(key.path, wanted) || IsAncestorOf(wanted, key.path)) {
        next = key.path.substr(0, wanted.size());
        break;
      }
    }
    spelled = std::move(next);
    // The root alone gets a section only when values live directly in it.
    const bool isRootOfLongerPath = count == 1 && parts.size() > 1;
    if (!isRootOfLongerPath && FindKey(tree, spelled) == nullptr) {
      // A new parent goes before the first of its descendants already on
      // file, so the file still reads from the top of the tree down.
      const auto firstDescendant =
          std::find_if(tree.keys.begin(), tree.keys.end(),
                       [&](const RegistryKey& key) { return IsAncestorOf(spelled, key.path); });
      tree.keys.insert(firstDescendant, RegistryKey{spelled, {}});
    }
  }
  return *FindKey(tree, spelled);
}

const RegistryValue* FindValue(const RegistryKey& key, std::string_view name) {
  return FindNamed(key.values, name, ValueNameOf);
}

void SetValue(RegistryKey& key, RegistryValue value) {
  if (RegistryValue* existing = FindNamed(key.values, value.name, ValueNameOf)) {
    existing->type = value.type;
    existing->data = std::move(value.data);
  } else {
    key.values.push_back(std::move(value));
  }
}

}  // namespace tessaly
