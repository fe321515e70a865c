#pragma once

#include "capture_file/capture_folder.h"
#include "core/packet_time.h"

#include <QString>

#include <filesystem>

namespace tessaly {

// Where File > Save log as proposes to save: the folder and file type used
// last, remembered for the user between runs in the current-user root of
// the settings store, and a file name made from when and where the capture
// began.
class SavePlace {
 public:
  // The current user's values under the program's key.
  static constexpr const char* kFolderValue = "SaveFolder";
  static constexpr const char* kTypeValue = "SaveType";  // "txt", "csv", "pcap" or "pcapng"

  explicit SavePlace(std::filesystem::path storeDirectory);

  // The folder saved to last, or the home folder when none is remembered,
  // the value cannot be read, or the folder is gone.
  QString Folder() const;
  // The extension of the type saved last, without its dot; "txt" when none
  // is remembered or the value is not one of the three.
  QString Type() const;

  // Remembers the folder and the type (the extension) of a file saved to.
  // Throws ERegistryException when the store refuses.
  void Remember(const QString& fileName) const;

 private:
  std::filesystem::path storeDirectory_;
};

}  // namespace tessaly
