#pragma once

#include "capture_file/capture_file_reader.h"

#include <QStringList>

#include <cstdint>
#include <vector>

namespace tessaly {

// The lines a capture file holds. A file gives each line an interface, and
// a line whose settings change on the way (another interval, a reconnection)
// gets a new interface under the same name: so interfaces of one name are
// one line, numbered in the order the file first names them. Where the file
// keeps the names the user gave the lines (this program's captures of two
// lines do, in a comment of each interface), those name the lines instead.
struct CaptureLines {
  std::vector<int> lineOfInterface;  // by interface id
  QStringList names;                 // by line

  bool Several() const { return names.size() >= 2; }
};

CaptureLines LinesOfCapture(const std::vector<CapturedInterface>& interfaces);

// The line of a packet's interface; 0 for an id the file does not describe.
int LineOfInterface(const CaptureLines& lines, std::uint32_t interfaceId);

}  // namespace tessaly
