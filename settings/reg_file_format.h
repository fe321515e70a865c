#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "settings/registry_tree.h"

namespace tessaly {

// The store file is the registry export text that people in this field read
// and edit, in UTF-8:
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Verandel\Tessaly]
//   "Transport"="TCP"
//   "Remote_Port"=dword:000001f6
//   "Path"=hex(2):25,54,4d,50,25,00
//
// Strings are quoted with \\ and \" escaped; 32-bit integers are dword;
// expandable strings are hex(2), binary data hex, any other type hex(N).
// A value whose bytes the quoted or dword form cannot carry exactly (a
// string without its terminating zero or with a line break, an integer
// that is not 4 bytes) is written in the hex(N) form of its type, so that
// every value reads back byte for byte.
inline constexpr std::string_view kRegFileHeader = "Windows Registry Editor Version 5.00";

// A store file is a few hundred bytes; anything beyond this is not one, and
// reading it whole could exhaust memory.
inline constexpr std::size_t kLargestStoreFile = 16 * 1024 * 1024;

// The keys and values of a store file; nullopt when the text is not one
// (wrong header, a malformed or cut-off line). Text with nothing but blank
// lines is an empty store.
std::optional<RegistryTree> ParseRegFile(std::string_view text);

// Every tree FormatRegFile writes parses back to the same keys and values.
std::string FormatRegFile(const RegistryTree& tree);

// How many texts ParseRegFile has been given in this process, for measuring
// how often a run parses its store.
std::uint64_t ParseCount();

// Names that fit on one line of the file: no line breaks, no zero bytes.
bool IsStorableName(std::string_view name);

}  // namespace tessaly
