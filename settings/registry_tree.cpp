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

}  // namespace

std::vector<std::uint8_t> StringData(std::string_view text) {
  std::vector<std::uint8_t> data(text.begin(), text.end());
  data.push_back(0);
  return data;
}

bool SameName(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, [](char x, char y) { return FoldAscii(x) == FoldAscii(y); });
}

std::string FoldedName(std::string_view name) {
  std::string folded(name);
  for (char& c : folded) c = FoldAscii(c);
  return folded;
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
  std::string normalized;
  normalized.reserve(path.size());
  for (const char c : path) {
    if (c == '\\' && (normalized.empty() || normalized.back() == '\\')) continue;
    normalized += c;
  }
  if (!normalized.empty() && normalized.back() == '\\') normalized.pop_back();
  return normalized;
}

RegistryKey::RegistryKey(std::string path, std::vector<RegistryValue> values) : path_(std::move(path)) {
  for (RegistryValue& value : values) SetValue(std::move(value));
}

const RegistryValue* RegistryKey::FindValue(std::string_view name) const {
  if (byName_.empty()) {
    const auto found = std::ranges::find_if(values_, [&](const RegistryValue& value) { return SameName(value.name, name); });
    return found == values_.end() ? nullptr : &*found;
  }
  const auto found = byName_.find(FoldedName(name));
  return found == byName_.end() ? nullptr : &values_[found->second];
}

void RegistryKey::SetValue(RegistryValue value) {
  if (const RegistryValue* existing = FindValue(value.name)) {
    auto& kept = values_[static_cast<std::size_t>(existing - values_.data())];
    kept.type = value.type;
    kept.data = std::move(value.data);
    return;
  }
  values_.push_back(std::move(value));
  if (!byName_.empty()) {
    byName_.emplace(FoldedName(values_.back().name), values_.size() - 1);
  } else if (values_.size() > kValuesSearchedInOrder) {
    for (std::size_t i = 0; i < values_.size(); ++i) byName_.emplace(FoldedName(values_[i].name), i);
  }
}

RegistryTree::RegistryTree(std::vector<RegistryKey> keys) {
  for (RegistryKey& key : keys) {
    RegistryKey& section = Section(key.Path());
    for (const RegistryValue& value : key.Values()) section.SetValue(value);
  }
}

const RegistryKey* RegistryTree::FindKey(std::string_view path) const {
  const auto found = byFoldedPath_.find(FoldedName(NormalizedKeyPath(path)));
  return found == byFoldedPath_.end() ? nullptr : &keys_[found->second];
}

RegistryKey* RegistryTree::FindKey(std::string_view path) {
  return const_cast<RegistryKey*>(std::as_const(*this).FindKey(path));
}

bool RegistryTree::KeyExists(std::string_view path) const {
  const std::string folded = FoldedName(NormalizedKeyPath(path));
  if (folded.empty()) return false;
  // The key itself, or else the first path after it in order: a descendant
  // when one exists, since all of them start with the key's path and '\'.
  const auto next = byFoldedPath_.lower_bound(folded);
  if (next == byFoldedPath_.end()) return false;
  return next->first == folded || next->first.starts_with(folded + '\\');
}

std::size_t RegistryTree::PlaceOfFirstDescendant(const std::string& foldedPath) const {
  const std::string prefix = foldedPath + '\\';
  std::size_t first = keys_.size();
  for (auto it = byFoldedPath_.lower_bound(prefix); it != byFoldedPath_.end() && it->first.starts_with(prefix); ++it) {
    first = std::min(first, it->second);
  }
  return first;
}

// How the file already spells a key: its own section's path, or else the
// beginning of the path of its first descendant on file; null when neither
// exists.
const std::string* RegistryTree::SpellingOf(const std::string& foldedPath) const {
  if (const auto found = byFoldedPath_.find(foldedPath); found != byFoldedPath_.end()) {
    return &keys_[found->second].Path();
  }
  const std::size_t place = PlaceOfFirstDescendant(foldedPath);
  return place == keys_.size() ? nullptr : &keys_[place].Path();
}

void RegistryTree::Insert(std::size_t place, std::string path) {
  std::string folded = FoldedName(path);
  keys_.insert(keys_.begin() + static_cast<std::ptrdiff_t>(place), RegistryKey(std::move(path)));
  if (place + 1 < keys_.size()) {
    for (auto& [name, index] : byFoldedPath_) {
      if (index >= place) ++index;
    }
  }
  byFoldedPath_.emplace(std::move(folded), place);
}

RegistryKey& RegistryTree::Section(std::string_view path) {
  const auto found = byFoldedPath_.find(FoldedName(path));
  if (found != byFoldedPath_.end()) return keys_[found->second];
  Insert(keys_.size(), std::string(path));
  return keys_.back();
}

RegistryKey& RegistryTree::EnsureKey(std::string_view path) {
  const std::vector<std::string> parts = SplitKeyPath(path);
  if (parts.empty()) throw std::invalid_argument("a key path names at least its root");
  std::string spelled;  // the path so far, in the case already on file
  std::size_t place = 0;
  for (std::size_t count = 1; count <= parts.size(); ++count) {
    const std::string folded = FoldedName(JoinKeyPath(parts, count));
    const std::string* onFile = SpellingOf(folded);
    spelled = onFile != nullptr ? onFile->substr(0, folded.size())
                                : (spelled.empty() ? parts[0] : spelled + '\\' + parts[count - 1]);
    // The root alone gets a section only when values live directly in it.
    const bool isRootOfLongerPath = count == 1 && parts.size() > 1;
    const auto section = byFoldedPath_.find(folded);
    if (section != byFoldedPath_.end()) {
      place = section->second;
    } else if (!isRootOfLongerPath) {
      // A new parent goes before the first of its descendants already on
      // file, so the file still reads from the top of the tree down.
      place = PlaceOfFirstDescendant(folded);
      Insert(place, spelled);
    }
  }
  return keys_[place];
}

}  // namespace tessaly
