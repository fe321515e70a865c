#pragma once

#include "core/packet_framer.h"
#include "modbus/frame_layout.h"
#include "recorder/record_options.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tessaly::record {

// Packets as lines for a terminal or a pipe, collected until Flush:
//   text: "2026-12-08T12:00:00.012+01:00 01 03 00 00 00 02 C4 0B"
//   csv:  the window's CSV export (local date-time, time, count, bytes)
// With lines (a recording of two), each line names its line after the time
// ("... +01:00 master 01 03 ...", a Line column in CSV).
// With decode, each line ends with the Modbus summary of the packet: what
// the details pane says of it, in one line.
class PacketLines {
 public:
  PacketLines(LineFormat format, bool decode, bool withLines = false);

  void Add(const std::uint8_t* bytes, int count, PacketTime endedAt, const std::string& line = {});
  // What has collected since the last Take, emptied.
  std::string Take();

 private:
  std::string Summary(const std::uint8_t* bytes, int count);

  LineFormat format_;
  bool decode_;
  bool withLines_;
  bool headerWritten_ = false;
  std::string text_;
  // The packet before, which tells whether a frame answers it.
  std::vector<std::uint8_t> previousBytes_;
  modbus::FrameSummary previous_;
  bool hasPrevious_ = false;
};

}  // namespace tessaly::record
