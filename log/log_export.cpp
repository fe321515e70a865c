#include "log/log_export.h"

#include "core/local_time_text.h"
#include "capture_file/capture_file_writer.h"
#include "capture_file/pcapng_blocks.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <utility>

namespace tessaly {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// A snapshot's packets as the Modbus decoder reads them, as the log's own
// views read them: with their bytes' arrival times (the turnaround is taken
// from them), their line's side and the notes among them.
class SnapshotPackets : public modbus::PacketSequence {
 public:
  SnapshotPackets(const PacketStore::Snapshot& snapshot, const LogMarks& marks, int masterLine)
      : snapshot_(snapshot), marks_(marks), masterLine_(masterLine) {}
  int Size() const override { return snapshot_.Size(); }
  modbus::LoggedPacket At(int index) const override {
    const PacketStore::Packet packet = snapshot_.At(index);
    modbus::LoggedPacket logged{packet.bytes, packet.count, packet.time, packet.firstByte, packet.lastByte};
    if (masterLine_ >= 0) {
      logged.side = packet.line == masterLine_ ? modbus::Direction::Request : modbus::Direction::Response;
    }
    logged.note = !marks_.empty() && marks_.count(index) != 0;
    return logged;
  }

 private:
  const PacketStore::Snapshot& snapshot_;
  const LogMarks& marks_;
  const int masterLine_;
};

// The longest line a row can make besides its hex text: the CSV's date-time,
// time, count and separators.
constexpr int kRowOverhead = 64;

char* WriteHex(const std::uint8_t* bytes, int count, char* out) {
  for (int i = 0; i < count; ++i) {
    *out++ = kHexDigits[bytes[i] >> 4];
    *out++ = kHexDigits[bytes[i] & 0x0F];
    *out++ = ' ';
  }
  return out;
}

}  // namespace

LogFileFormat LogFileFormatForName(const QString& fileName) {
  if (fileName.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive)) return LogFileFormat::kCsv;
  if (fileName.endsWith(QStringLiteral(".pcap"), Qt::CaseInsensitive)) return LogFileFormat::kPcap;
  if (fileName.endsWith(QStringLiteral(".pcapng"), Qt::CaseInsensitive)) return LogFileFormat::kPcapng;
  return LogFileFormat::kText;
}

LogWriter::LogWriter(PacketStore::Snapshot snapshot, LogFileFormat format,
                     std::vector<RowRange> rows)
    : snapshot_(std::move(snapshot)), format_(format) {
  for (RowRange range : rows) {
    range.first = std::max(range.first, 0);
    range.last = std::min(range.last, snapshot_.Size() - 1);
    if (range.first > range.last) continue;
    ranges_.push_back(range);
    rowCount_ += range.last - range.first + 1;
  }
  if (!ranges_.empty()) next_ = ranges_.front().first;
}

LogWriter::LogWriter(PacketStore::Snapshot snapshot, LogFileFormat format)
    : LogWriter(snapshot, format, {{0, snapshot.Size() - 1}}) {}

void LogWriter::SetDecoding(modbus::DecodingChoices choices) { decoding_ = std::move(choices); }

CaptureInterface::Direction LogWriter::DirectionOf(std::uint32_t interface) const {
  if (!secondLine_ || masterLine_ < 0) return CaptureInterface::Direction::kUnknown;
  return static_cast<int>(interface) == masterLine_ ? CaptureInterface::Direction::kOutbound
                                                    : CaptureInterface::Direction::kInbound;
}

void LogWriter::WriteDecodedFields(QByteArray& out, int row) const {
  // The CSV row without its line end, then the decoded fields.
  out.chop(2);
  const SnapshotPackets packets(snapshot_, marks_, NamesLines() ? decoding_.masterLine : -1);
  const modbus::DecodedRow fields = modbus::DecodeRow(packets, row, decoding_);
  for (const std::string* field :
       {&fields.unit, &fields.function, &fields.direction, &fields.startAddress, &fields.quantity,
        &fields.values, &fields.exception, &fields.crc, &fields.pairedRow, &fields.turnaround}) {
    out.append(',');
    out.append(modbus::CsvField(*field));
  }
  out.append("\r\n");
}

bool LogWriter::WriteNext(QByteArray& out) {
  if (!started_) {
    started_ = true;
    if (NamesLines() && (format_ == LogFileFormat::kCsv || format_ == LogFileFormat::kDecodedCsv)) {
      out.append("Line,");
    }
    if (format_ == LogFileFormat::kDecodedCsv) {
      out.append("Date and time,Time,Bytes,Data");
      for (const char* column : modbus::kDecodedColumns) out.append(',').append(column);
      out.append("\r\n");
    } else if (format_ == LogFileFormat::kCsv) {
      out.append("Date and time,Time,Bytes,Data\r\n");
    } else if (format_ == LogFileFormat::kPcap) {
      char header[pcap::kHeaderSize];
      pcap::WriteFileHeader(header, PacketStore::kMaxPacketSize);
      out.append(header, sizeof header);
    } else if (format_ == LogFileFormat::kPcapng) {
      std::string blocks;
      pcapng::AppendSectionHeader(blocks, "Tessaly");
      CaptureInterface first = line_;
      first.direction = DirectionOf(0);
      pcapng::AppendInterface(blocks, first);
      if (secondLine_) {
        CaptureInterface second = *secondLine_;
        second.direction = DirectionOf(1);
        pcapng::AppendInterface(blocks, second);
      }
      out.append(blocks.data(), static_cast<qsizetype>(blocks.size()));
    }
  }
  const qsizetype goal = out.size() + kPieceBytes;
  while (range_ < ranges_.size() && out.size() < goal) {
    if (const auto mark = marks_.find(next_); mark != marks_.end()) {
      WriteMark(out, snapshot_.At(next_), mark->second);
    } else {
      WriteRow(out, snapshot_.At(next_));
      if (format_ == LogFileFormat::kDecodedCsv) WriteDecodedFields(out, next_);
    }
    ++written_;
    if (++next_ > ranges_[range_].last && ++range_ < ranges_.size()) next_ = ranges_[range_].first;
  }
  const bool more = range_ < ranges_.size();
  if (!more && format_ == LogFileFormat::kPcapng && !comments_.empty()) {
    // Notes after the last packet: a block of their own.
    std::string block;
    const PacketTime end = snapshot_.Size() > 0 ? snapshot_.At(snapshot_.Size() - 1).time : 0;
    pcapng::AppendStatistics(block, 0, end, comments_);
    comments_.clear();
    out.append(block.data(), static_cast<qsizetype>(block.size()));
  }
  return more;
}

void LogWriter::WriteLineName(QByteArray& out, const PacketStore::Packet* packet) const {
  if (!NamesLines()) return;
  const bool csv = format_ == LogFileFormat::kCsv || format_ == LogFileFormat::kDecodedCsv;
  if (!csv && format_ != LogFileFormat::kText) return;
  QString name;
  if (packet != nullptr) {
    const auto line = static_cast<std::size_t>(packet->line);
    name = line < lineNames_.size() ? lineNames_[line] : QString::number(packet->line + 1);
  }
  if (csv) {
    out.append(QByteArray::fromStdString(modbus::CsvField(name.toStdString()))).append(',');
  } else {
    // A tab or line end in a name would shift the row's cells.
    for (QChar& c : name) {
      if (c == u'\t' || c == u'\n' || c == u'\r') c = u' ';
    }
    out.append(name.toUtf8()).append('\t');
  }
}

void LogWriter::WriteMark(QByteArray& out, const PacketStore::Packet& packet, const QString& text) {
  char stamp[64];
  WriteLineName(out, nullptr);
  const QByteArray note = text.toUtf8();
  switch (format_) {
    case LogFileFormat::kText:
      out.append(stamp, WriteTimeOfDay(packet.time, stamp) - stamp);
      out.append('\t').append(note).append('\n');
      break;
    case LogFileFormat::kBytesOnly:
      out.append(note).append('\n');
      break;
    case LogFileFormat::kCsv:
    case LogFileFormat::kDecodedCsv: {
      out.append(stamp, WriteIsoDateTime(packet.time, stamp) - stamp).append(',');
      out.append(stamp, WriteTimeOfDay(packet.time, stamp) - stamp).append(",0,\"");
      out.append(QByteArray(note).replace('"', "\"\"")).append('"');
      // A note is no frame: its decoded fields stay empty, so that every
      // record has the header's columns.
      if (format_ == LogFileFormat::kDecodedCsv) {
        out.append(QByteArray(static_cast<qsizetype>(std::size(modbus::kDecodedColumns)), ','));
      }
      out.append("\r\n");
      break;
    }
    case LogFileFormat::kPcap:
      break;
    case LogFileFormat::kPcapng:
      comments_.push_back(note.toStdString());
      break;
  }
}

void LogWriter::WriteRow(QByteArray& out, const PacketStore::Packet& packet) {
  if (format_ == LogFileFormat::kPcapng) {
    // As a capture file is written while capturing: stamped with the end,
    // the first byte's arrival in its option, the notes before it in
    // comments, its direction where its line tells.
    std::string block;
    const std::uint32_t interface = secondLine_ && packet.line == 1 ? 1 : 0;
    const std::optional<std::int64_t> firstByte = packet.count > 0 ? packet.firstByte : std::nullopt;
    pcapng::AppendPacket(block, interface, packet.time, packet.bytes, packet.count, comments_, firstByte,
                         DirectionOf(interface));
    comments_.clear();
    out.append(block.data(), static_cast<qsizetype>(block.size()));
    return;
  }
  // Before the room below is made: a name is as long as the user made it.
  WriteLineName(out, &packet);
  const qsizetype start = out.size();
  out.resize(start + kRowOverhead + 3 * qsizetype{packet.count});
  char* const begin = out.data() + start;
  char* end = begin;
  switch (format_) {
    case LogFileFormat::kText:
      end = WriteTimeOfDay(packet.time, end);
      *end++ = '\t';
      end = WriteHex(packet.bytes, packet.count, end);
      *end++ = '\n';
      break;
    case LogFileFormat::kBytesOnly:
      end = WriteHex(packet.bytes, packet.count, end);
      *end++ = '\n';
      break;
    case LogFileFormat::kCsv:
    case LogFileFormat::kDecodedCsv: {
      end = WriteIsoDateTime(packet.time, end);
      *end++ = ',';
      end = WriteTimeOfDay(packet.time, end);
      *end++ = ',';
      const QByteArray count = QByteArray::number(packet.count);
      end = std::copy(count.begin(), count.end(), end);
      *end++ = ',';
      // The hex text without the cell's trailing space: a spreadsheet would
      // keep it as part of the value.
      end = WriteHex(packet.bytes, packet.count, end);
      if (packet.count > 0) --end;
      *end++ = '\r';
      *end++ = '\n';
      break;
    }
    case LogFileFormat::kPcap:
      // The same records as the recorder's pcap files, stamped with the
      // packet's full time.
      end = pcap::WriteRecord(end, packet.time, packet.bytes, packet.count);
      break;
    case LogFileFormat::kPcapng:
      break;  // written above
  }
  out.truncate(end - out.data());
}

}  // namespace tessaly
