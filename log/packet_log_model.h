#pragma once

#include "core/packet_framer.h"
#include "log/log_marks.h"
#include "log/packet_store.h"
#include "log/time_column.h"

#include <QAbstractTableModel>
#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <memory>
#include <optional>

namespace tessaly {

// The packet log: one row per packet, column 0 the local time at which it was
// logged, column 1 its bytes in hex. The log starts with one empty row, which
// the first packet fills; every later packet becomes a new last row. Clearing
// takes it back to its start.
//
// Only the time and the bytes are kept (see PacketStore); the cell texts are
// made when a view asks for them, so a log of hours of traffic stays small.
//
// Views hear of a new packet at once, except when the log is long and busy:
// from kBatchFromRows rows on, packets that follow the previous announcement
// within kBatchInterval are announced together when that interval is over,
// so a busy line costs one layout, scroll and repaint of the views per
// batch rather than per packet.
class PacketLogModel : public QAbstractTableModel, public PacketSink {
  Q_OBJECT

 public:
  enum Column { kTimeColumn = 0, kDataColumn = 1, kColumnCount = 2 };

  static constexpr int kBatchFromRows = 100'000;
  // Milliseconds. A packet held back shows this long after it ended at the
  // latest (plus the time to paint it), well within the tenth of a second in
  // which a new row is to show; the longer the interval, the more rows share
  // one repaint of a busy grid.
  static constexpr int kBatchInterval = 80;
  // The tooltip of a data cell shows the whole packet, this many bytes a line.
  static constexpr int kToolTipBytesPerLine = 32;

  explicit PacketLogModel(QObject* parent = nullptr);

  // The column headers; empty until set.
  void SetHeaders(const QString& time, const QString& data);

  // Changes when announcements are batched (see above); a fromRows of
  // INT_MAX announces every packet at once.
  void SetBatching(int fromRows, int intervalMilliseconds);

  // Appends the packet, stamped with the time it ended, to the log.
  // Throws std::invalid_argument for a count below 0 or beyond what one row
  // can hold (PacketStore::kMaxPacketSize).
  void AppendPacket(const std::uint8_t* bytes, int count, PacketTime endedAt) override;
  // The same, keeping when its first and last byte came.
  void AppendPacket(const std::uint8_t* bytes, int count, const PacketTiming& timing) override;
  // A packet of one of two lines captured together (0 the first).
  void AppendLinePacket(int line, const std::uint8_t* bytes, int count, const PacketTiming& timing) override;
  // A packet read back from a capture file, with its first and last byte's
  // arrival where the file keeps them.
  void AppendCapturedPacket(const std::uint8_t* bytes, int count, PacketTime endedAt,
                            std::optional<PacketTime> firstByte, std::optional<PacketTime> lastByte = std::nullopt,
                            int line = 0);

  // The names of the lines the log holds rows of, first line first. With
  // two or more the log names each row's line (beside the grid, in saved
  // text and CSV) and shades the second line's rows; with fewer it is the
  // one-line log. Kept when the log is cleared.
  void SetLineNames(QStringList names);
  const QStringList& LineNames() const { return lineNames_; }
  bool ShowsLines() const { return lineNames_.size() >= 2; }
  // The name of a row's line; empty with one line, and for a note.
  QString LineNameAt(int row) const;
  // The line that carries the master's requests (0 or 1), where the user
  // named one; -1 for none. Only a log that names its lines uses it.
  void SetMasterLine(int line) { masterLine_ = line; }
  int MasterLine() const { return ShowsLines() ? masterLine_ : -1; }

  // A note between packets (see LogMarks), shown at once; refused quietly
  // once memory has run out, as packets are.
  void AppendMark(const QString& text, PacketTime at);
  // The notes so far, by row.
  const LogMarks& Marks() const { return marks_; }
  // The note a row shows instead of bytes, if it is one.
  const QString* MarkAt(int row) const;

  // Announces packets held back by batching now.
  void AnnouncePackets();

  // Every packet appended so far, announced or not.
  int PacketCount() const { return store_.Size(); }
  // The packet of a row (0 <= row < PacketCount()), for decoding.
  PacketStore::Packet PacketAt(int row) const { return store_.At(row); }

  // The packets as they are now, for reading on another thread.
  PacketStore::Snapshot TakeSnapshot() const;

  // Back to the start: no packets, one empty row, the memory given back.
  // Capture may go on; the next packet fills the empty row.
  void Clear();

  // Memory held back from the start and given up when the store cannot
  // take another packet: room for telling the user and for saving the log.
  static constexpr std::size_t kMemoryReserve = 32 * 1024 * 1024;

  // Once the store cannot take another packet, packets are refused quietly
  // (memoryExhausted() has said so once) until the log is cleared.
  bool MemoryExhausted() const { return exhausted_; }
  void SetAllocationLimit(std::size_t bytes) { store_.SetAllocationLimit(bytes); }
  // Why the store refused, when it was not memory but the disk under its
  // file (see SetBackingDirectory); empty otherwise.
  const QString& ExhaustionCause() const { return exhaustionCause_; }

  // Keeps the packets in an unnamed file in folder rather than in memory
  // (see PacketStore::SetBackingDirectory), its pages given back to the
  // kernel every kPageReleaseInterval. Where the file cannot be made the log
  // stays in memory and backingUnavailable() says so with its first packet.
  // The timer runs only after rows were added or read (taken in a
  // snapshot), for two sweeps of the file: a silent log that nobody reads
  // leaves the window's thread asleep.
  static constexpr int kPageReleaseInterval = 500;  // milliseconds
  void SetBackingDirectory(const QString& folder);
  bool ReleasingPages() const { return pageReleaseTimer_.isActive(); }

  // What the time column shows (the time of day unless chosen otherwise).
  void SetTimeColumn(TimeColumn column);
  TimeColumn TimeColumnShown() const { return timeColumn_; }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

 signals:
  // The line names changed (and with them whether lines show).
  void lineNamesChanged();

  // One or more packets were written; the last of them is in row, the log's
  // last row.
  void packetAppended(int row);

  // The log could not take a packet for want of memory: the packets it
  // holds stay (all announced), later ones are dropped.
  void memoryExhausted(int rows);

  // The log is held in memory although a folder for its file was given:
  // why, once.
  void backingUnavailable(const QString& problem);

 private:
  bool ShouldHoldBack() const;
  // A row's background: a shade of its own for each line after the first.
  QVariant LineShade(int row) const;
  // Stores the packet with store (a call of one of the store's appends),
  // then announces it or holds it back.
  template <class Store>
  void Append(Store&& store);

  PacketStore store_;
  LogMarks marks_;
  int announced_ = 0;  // packets the views know of: the rows shown
  bool exhausted_ = false;
  QString exhaustionCause_;
  bool backingReported_ = false;
  // Rows were added or read: their pages are to be given back.
  void KeepReleasingPages() const;
  mutable QTimer pageReleaseTimer_;
  mutable int releaseCallsLeft_ = 0;
  std::unique_ptr<char[]> reserve_;
  QString timeHeader_;
  TimeColumn timeColumn_ = TimeColumn::kTimeOfDay;
  QString dataHeader_;
  QStringList lineNames_;
  int masterLine_ = -1;
  int batchFromRows_ = kBatchFromRows;
  QTimer batchTimer_;
  QElapsedTimer sinceAnnouncement_;
};

}  // namespace tessaly
