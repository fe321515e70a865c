#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
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

// One key with its values, in the order they were first written. The path
// is the full backslash-separated path including the root's name, e.g.
// "HKEY_LOCAL_MACHINE\SOFTWARE\Verandel".
struct RegistryKey {
  std::string path;
  std::vector<RegistryValue> values;

  bool operator==(const RegistryKey&) const = default;
};

// All keys of one store file, in file order. A key whose own section is
// absent still exists when a deeper key names it as a parent.
struct RegistryTree {
  std::vector<RegistryKey> keys;

  bool operator==(const RegistryTree&) const = default;
};

// Names of keys and values compare without regard to ASCII case.
bool SameName(std::string_view a, std::string_view b);

// Splits a backslash-separated path into its non-empty parts, so that
// leading, trailing and doubled backslashes do not matter.
std::vector<std::string> SplitKeyPath(std::string_view path);
// The path rejoined from those parts, so "\A\\B\" becomes "A\B".
std::string NormalizedKeyPath(std::string_view path);

// The key with its own section, or null.
const RegistryKey* FindKey(const RegistryTree& tree, std::string_view path);
RegistryKey* FindKey(RegistryTree& tree, std::string_view path);
// Whether the key has a section or is the parent of one.
bool KeyExists(const RegistryTree& tree, std::string_view path);

// Finds the key or creates it with every missing parent, each parent as a
// section of its own as an export would list it. Existing parts keep the
// case they were first written with.
RegistryKey& EnsureKey(RegistryTree& tree, std::string_view path);

const RegistryValue* FindValue(const RegistryKey& key, std::string_view name);

// Replaces the value of that name whatever its type, keeping the name's
// first spelling and its place among the key's values; otherwise appends it.
void SetValue(RegistryKey& key, RegistryValue value);

}  // namespace tessaly
