#pragma once

#include "capture_file/capture_packet_stream.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace tessaly {

// The lines of a capture file shown in the log, and which rows came on
// which. A file may describe several: the recording adds one whenever the
// line's settings change during a capture. Kept as runs of rows, so a
// file of millions of rows on one line costs one entry.
class CaptureLines {
 public:
  void Clear();
  void AddInterface(const CapturedInterface& link) { interfaces_.push_back(link); }
  // The packet appended as row came on the file's interface interfaceId.
  void NoteRow(int row, std::uint32_t interfaceId);

  // The line of a row's packet; a row before all packets (or -1) has the
  // first packet's line; nullptr when the file described none.
  const CaptureInterface* LineOfRow(int row) const;

 private:
  std::vector<CapturedInterface> interfaces_;
  std::vector<std::pair<int, std::uint32_t>> runs_;  // first row, interface
};

}  // namespace tessaly
