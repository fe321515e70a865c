#pragma once

#include "capture/packet_store.h"

#include <QByteArray>
#include <QString>

#include <vector>

namespace tessaly {

// The ways the log leaves the program.
enum class LogFileFormat {
  kText,       // the two cells as shown, a tab between them, one line a row
  kCsv,        // RFC 4180 with a header: local date-time, shown time, count, bytes
  kPcap,       // classic libpcap, microsecond stamps, one record a packet
  kBytesOnly,  // the data cell alone, one line a row (for copying)
};

// The format a file name asks for by its extension (.csv, .pcap; anything
// else is text).
LogFileFormat LogFileFormatForName(const QString& fileName);


// Rows first to last, both included.
struct RowRange {
  int first;
  int last;
};

// Turns rows of a snapshot into a file's bytes, a piece at a time, so that a
// caller can check for cancellation and report progress between pieces.
// Owns its snapshot: it may be used on any one thread.
class LogWriter {
 public:
  static constexpr int kPieceBytes = 256 * 1024;

  // Rows outside the snapshot are skipped.
  LogWriter(PacketStore::Snapshot snapshot, LogFileFormat format, std::vector<RowRange> rows);

  // Every row of the snapshot.
  LogWriter(PacketStore::Snapshot snapshot, LogFileFormat format);

  // Appends the next piece (about kPieceBytes, the header first) to out;
  // false once everything has been written.
  bool WriteNext(QByteArray& out);

  int RowsWritten() const { return written_; }
  int RowCount() const { return rowCount_; }

 private:
  void WriteRow(QByteArray& out, const PacketStore::Packet& packet);

  PacketStore::Snapshot snapshot_;
  LogFileFormat format_;
  std::vector<RowRange> ranges_;
  std::size_t range_ = 0;
  int next_ = 0;  // the next row of ranges_[range_]
  int rowCount_ = 0;
  int written_ = 0;
  bool started_ = false;
};

}  // namespace tessaly
