#pragma once

#include "log/log_marks.h"
#include "modbus/decoded_row.h"
#include "log/packet_store.h"
#include "capture_file/capture_file_format.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

namespace tessaly {

// The ways the log leaves the program.
enum class LogFileFormat {
  kText,       // the two cells as shown, a tab between them, one line a row
  kCsv,        // RFC 4180 with a header: local date-time, shown time, count, bytes
  kPcap,       // classic libpcap, microsecond stamps, one record a packet
  kPcapng,     // pcapng: the line's description, a block a packet, notes as comments
  kBytesOnly,  // the data cell alone, one line a row (for copying)
  kDecodedCsv, // the CSV's columns, then each row's Modbus fields (DecodeRow)
};

// The format a file name asks for by its extension (.csv, .pcap, .pcapng; anything
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

  // Rows that are notes between packets (a link lost, a link back): text
  // and both CSVs give the note's text in place of the bytes (the decoded
  // one with its decoded fields empty); pcap, which has no place for it,
  // leaves them out.
  void SetMarks(LogMarks marks) { marks_ = std::move(marks); }
  // The names of the lines a log of two lines holds, first line first:
  // text and CSV then begin each row with its line's name (notes with an
  // empty one). With fewer than two, rows are written as for one line.
  void SetLineNames(std::vector<QString> names) { lineNames_ = std::move(names); }
  // The line the rows came from, as pcapng describes it.
  void SetLine(CaptureInterface line) { line_ = std::move(line); }
  // The second line of a log of two, as pcapng describes it: an interface
  // of its own, which that line's packets name.
  void SetSecondLine(CaptureInterface line) { secondLine_ = std::move(line); }
  // The line (0 or 1) the user named the master's, in a log of two lines;
  // -1 for none. pcapng then gives each packet its direction.
  void SetMasterLine(int line) { masterLine_ = line; }

  // Appends the next piece (about kPieceBytes, the header first) to out;
  // false once everything has been written.
  bool WriteNext(QByteArray& out);

  // How kDecodedCsv decodes rows (by default: 0-based addresses, plain
  // registers, 9600 baud).
  void SetDecoding(modbus::DecodingChoices choices);

  int RowsWritten() const { return written_; }
  int RowCount() const { return rowCount_; }

 private:
  void WriteRow(QByteArray& out, const PacketStore::Packet& packet);
  void WriteMark(QByteArray& out, const PacketStore::Packet& packet, const QString& text);
  void WriteDecodedFields(QByteArray& out, int row) const;
  // The line's name and the separator after it, where lines are named.
  void WriteLineName(QByteArray& out, const PacketStore::Packet* packet) const;
  bool NamesLines() const { return lineNames_.size() >= 2; }
  CaptureInterface::Direction DirectionOf(std::uint32_t interface) const;

  PacketStore::Snapshot snapshot_;
  LogMarks marks_;
  std::vector<QString> lineNames_;
  CaptureInterface line_;
  std::optional<CaptureInterface> secondLine_;
  int masterLine_ = -1;
  // pcapng: notes waiting for the next packet to carry them.
  std::vector<std::string> comments_;
  LogFileFormat format_;
  std::vector<RowRange> ranges_;
  std::size_t range_ = 0;
  int next_ = 0;  // the next row of ranges_[range_]
  int rowCount_ = 0;
  int written_ = 0;
  bool started_ = false;
  modbus::DecodingChoices decoding_;
};

}  // namespace tessaly
