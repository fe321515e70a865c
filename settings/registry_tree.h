#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tessaly {

// Value types as the store file records them. Numbers are those of the
// registry export format's hex(N) notation; other numbers may appear in a
// hand-edited file and are kept as they are.
enum class RegistryDataType : std::uint32_t {
  None = 0,
  String = 1,
  ExpandString = 2,
  Binary = 3,
  Integer = 4,  // little-endian 32-bit ("dword")
};

// One named value. Strings keep their terminating zero byte in data, as the
// store holds them; readers cut the text at the first zero byte.
struct RegistryValue {
  std::string name;  // "" is the key's default value
  RegistryDataType type = RegistryDataType::None;
  std::vector<std::uint8_t> data;

  bool operator==(const RegistryValue&) const = default;
};

// The bytes a string value holds: the text and its terminating zero.
std::vector<std::uint8_t> StringData(std::string_view text);

// Names of keys and values compare without regard to ASCII case.
bool SameName(std::string_view a, std::string_view b);
// The name with ASCII letters in upper case: equal for names SameName
// matches, and of the same length.
std::string FoldedName(std::string_view name);

// Splits a backslash-separated path into its non-empty parts, so that
// leading, trailing and doubled backslashes do not matter.
std::vector<std::string> SplitKeyPath(std::string_view path);
// The path rejoined from those parts, so "\A\\B\" becomes "A\B".
std::string NormalizedKeyPath(std::string_view path);

// One key with its values, in the order they were first written. The path
// is the full backslash-separated path including the root's name, e.g.
// "HKEY_LOCAL_MACHINE\SOFTWARE\Verandel". A key with more than a few values
// finds them by name through a hash index, so that it still parses in linear
// time; the few values of most keys are searched in order, which is quicker
// than building the index.
class RegistryKey {
 public:
  explicit RegistryKey(std::string path = {}, std::vector<RegistryValue> values = {});

  const std::string& Path() const { return path_; }
  const std::vector<RegistryValue>& Values() const { return values_; }

  const RegistryValue* FindValue(std::string_view name) const;
  // Replaces the value of that name whatever its type, keeping the name's
  // first spelling and its place among the key's values; otherwise appends it.
  void SetValue(RegistryValue value);

  bool operator==(const RegistryKey& other) const { return path_ == other.path_ && values_ == other.values_; }

 private:
  static constexpr std::size_t kValuesSearchedInOrder = 8;

  std::string path_;
  std::vector<RegistryValue> values_;
  std::unordered_map<std::string, std::size_t> byName_;  // folded name -> place in values_; empty for a few values
};

// All keys of one store file, in file order. A key whose own section is
// absent still exists when a deeper key names it as a parent. Keys are found
// through an ordered index of their folded paths, in which a key's
// descendants sit together right after it.
class RegistryTree {
 public:
  RegistryTree() = default;
  // Keys named twice (in any case) are merged, as the file reader does.
  explicit RegistryTree(std::vector<RegistryKey> keys);

  const std::vector<RegistryKey>& Keys() const { return keys_; }

  // The key with its own section, or null.
  const RegistryKey* FindKey(std::string_view path) const;
  RegistryKey* FindKey(std::string_view path);
  // Whether the key has a section or is the parent of one.
  bool KeyExists(std::string_view path) const;

  // The section of that (normalised, non-empty) path, appended at the end
  // when there is none yet.
  RegistryKey& Section(std::string_view path);

  // Finds the key or creates it with every missing parent, each parent as a
  // section of its own as an export would list it. Existing parts keep the
  // case they were first written with.
  RegistryKey& EnsureKey(std::string_view path);

  bool operator==(const RegistryTree& other) const { return keys_ == other.keys_; }

 private:
  std::size_t PlaceOfFirstDescendant(const std::string& foldedPath) const;
  const std::string* SpellingOf(const std::string& foldedPath) const;
  void Insert(std::size_t place, std::string path);

  std::vector<RegistryKey> keys_;
  std::map<std::string, std::size_t> byFoldedPath_;  // folded path -> place in keys_
};

}  // namespace tessaly
