#pragma once

#include "capture_file/capture_packet_stream.h"

#include <QHash>
#include <QStringList>

#include <cstdint>
#include <utility>
#include <vector>

namespace tessaly {

// The lines of a capture file shown in the log, and which rows came on
// which, learnt as the file is read.
//
// A file gives each line an interface, and a line whose settings change on
// the way (another interval, a reconnection) gets a new interface under the
// same name: so interfaces of one name are one line, numbered in the order
// the file first names them. Where the file keeps the names the user gave
// the lines (this program's captures of two lines do, in a comment of each
// interface), those name the lines instead of the ports.
//
// Which interface each row came on is kept as runs of rows, so a file of
// millions of rows on one line costs one entry; it times each row by its
// own interface's line description.
class CaptureLines {
 public:
  void Clear();
  // The file's next interface.
  void AddInterface(const CapturedInterface& link);
  // The packet appended as row came on the file's interface interfaceId.
  void NoteRow(int row, std::uint32_t interfaceId);

  // The line (counted from 0) of a packet's interface; 0 for an id the
  // file does not describe; -1 for a line past the kMaxLines the log
  // tells apart (a file from elsewhere may name any number).
  int LineOf(std::uint32_t interfaceId) const;
  static constexpr int kMaxLines = 256;
  const QStringList& Names() const { return names_; }
  bool Several() const { return names_.size() >= 2; }

  // The interface of a row's packet; a row before all packets (or -1) has
  // the first packet's; nullptr when the file described none.
  const CaptureInterface* LineOfRow(int row) const;

 private:
  std::vector<CapturedInterface> interfaces_;
  std::vector<int> lineOfInterface_;
  QStringList names_;
  QHash<QString, int> lineOfName_;  // a file may name thousands
  std::vector<std::pair<int, std::uint32_t>> runs_;  // first row, interface
};

}  // namespace tessaly
