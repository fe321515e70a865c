#pragma once

#include <QString>

#include <filesystem>

namespace tessaly {

// Whether a second line is captured beside the first, through which link,
// what the two lines are called in the log, and which of them carries the
// master's requests. The second line's port and gateway keep their own
// values (see Data's line suffix); these sit beside them.
struct SecondLineSettings {
  static constexpr int kNoMasterSide = -1;

  bool on = false;
  bool tcp = false;  // the gateway rather than a serial port
  QString firstName = QStringLiteral("A");
  QString secondName = QStringLiteral("B");
  // The line (0 the first, 1 the second) the master speaks on, or none.
  int masterLine = kNoMasterSide;

  // Names as the log shows them: trimmed, never empty (a name left blank
  // is the line's letter).
  QString FirstName() const;
  QString SecondName() const;

  bool operator==(const SecondLineSettings&) const = default;
};

// The stored choice; what is missing or cannot be read is the default
// (off, "A" and "B", no master side): a damaged store never stops the
// program.
SecondLineSettings ReadSecondLineSettings(const std::filesystem::path& storeDirectory);
// Writes all of it at once, beside the first line's values and never over
// them. Throws the store's failure.
void WriteSecondLineSettings(const std::filesystem::path& storeDirectory, const SecondLineSettings& settings);

// The key the choice is kept under, below the program's own.
inline constexpr const char* kSecondLineKeyPath = "SOFTWARE\\Verandel\\Tessaly\\SecondLine";
// The suffix of the second line's link values ("ComPort2", "Remote_IP2").
inline constexpr const char* kSecondLineSuffix = "2";

}  // namespace tessaly
