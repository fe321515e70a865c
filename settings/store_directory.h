#pragma once

#include <filesystem>

namespace tessaly {

// Where the settings live: $XDG_CONFIG_HOME/tessaly, or ~/.config/tessaly
// when that is not set (or not absolute, which the convention says to
// ignore). An unprivileged user cannot write any machine-wide place, so the
// "local machine" root is kept here too, in a file of its own. Empty when no
// home folder can be found; the store then holds nothing and refuses writes.
std::filesystem::path DefaultStoreDirectory();

// Where the program keeps the data it makes (its capture files):
// $XDG_DATA_HOME/tessaly, or ~/.local/share/tessaly, by the same rules.
std::filesystem::path DefaultDataDirectory();

}  // namespace tessaly
