#include "capture/log_export.h"

#include "capture/local_time_text.h"
#include "capture_file/pcapng_blocks.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace tessaly {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

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

bool LogWriter::WriteNext(QByteArray& out) {
  if (!started_) {
    started_ = true;
    if (format_ == LogFileFormat::kCsv) {
      out.append("Date and time,Time,Bytes,Data\r\n");
    } else if (format_ == LogFileFormat::kPcap) {
      char header[pcap::kHeaderSize];
      pcap::WriteFileHeader(header, PacketStore::kMaxPacketSize);
      out.append(header, sizeof header);
    }
  }
  const qsizetype goal = out.size() + kPieceBytes;
  while (range_ < ranges_.size() && out.size() < goal) {
    WriteRow(out, snapshot_.At(next_));
    ++written_;
    if (++next_ > ranges_[range_].last && ++range_ < ranges_.size()) next_ = ranges_[range_].first;
  }
  return range_ < ranges_.size();
}

void LogWriter::WriteRow(QByteArray& out, const PacketStore::Packet& packet) {
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
    case LogFileFormat::kCsv: {
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
  }
  out.truncate(end - out.data());
}

}  // namespace tessaly
