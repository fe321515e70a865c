#pragma once

namespace tessaly {

// Where the program keeps what it remembers between runs: its key under the
// local-machine root, with the serial port's values in the subkey "ComPort".
inline constexpr const char* kProgramKeyPath = "SOFTWARE\\Verandel\\Tessaly";
inline constexpr const char* kSettingsLocation = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Verandel\\Tessaly";

}  // namespace tessaly
