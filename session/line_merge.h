#pragma once

#include "core/packet_framer.h"

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

namespace tessaly {

// Puts the packets of several lines, each cut by its own line, into one
// sequence in the order they began on the lines.
//
// Each line hands its packets to Input(line) as they end; they are held
// until no other line can still hand one that began before them, and then
// go to the output's AppendLinePacket with their line. Packets of different
// lines go by their first byte's arrival on the monotonic line clock (a
// request before the answer that follows it, whichever line ends first); a
// line's own packets always keep the order the line gave them.
//
// How far a line has been read is told by the line itself: every packet it
// has not handed yet begins at or after its progress (see
// CaptureSession::CompleteUntil). A line without a progress source is taken
// to be complete up to kHoldWithoutProgress ago. Whatever a line's progress
// says, nothing is held longer than kLongestHold: a line whose reader stalls
// never stops the others. A packet that then comes after one of another
// line that began later is handed over all the same, counted, and told.
class LineMerge : public QObject {
  Q_OBJECT

 public:
  static constexpr LineClock::duration kHoldWithoutProgress = std::chrono::milliseconds(100);
  static constexpr LineClock::duration kLongestHold = std::chrono::seconds(2);
  // How often held packets are looked at while any are held.
  static constexpr int kCheckMilliseconds = 5;

  explicit LineMerge(PacketSink& out, QObject* parent = nullptr);
  ~LineMerge() override;

  // The sink that line number line hands its packets to (lines count from 0).
  PacketSink& Input(int line);
  // The moment from which on line can still hand packets.
  void SetProgress(int line, std::function<LineTime()> completeUntil);
  // The clock that holds are measured on; the line clock unless a test sets
  // its own.
  void SetClock(std::function<LineTime()> now) { now_ = std::move(now); }
  // Told of each packet handed over after a packet of another line that
  // began later (its line's reader stalled beyond the longest hold).
  void SetOutOfOrderNotice(std::function<void(int line, const PacketTiming& timing)> notice) {
    outOfOrderNotice_ = std::move(notice);
  }

  // Hands over every packet that no line can come before any more.
  void HandOverDue();
  // Hands over every held packet, in order: the lines are closed.
  void Flush();

  int Held() const { return static_cast<int>(held_.size()); }
  // Packets handed over after a later one of another line had been.
  long long OutOfOrder() const { return outOfOrder_; }

 private:
  struct HeldPacket {
    int line;
    PacketTiming timing;
    LineTime heldSince;
    std::vector<std::uint8_t> bytes;
  };
  class LineInput;

  void Take(int line, const std::uint8_t* bytes, int count, const PacketTiming& timing);
  static LineTime FirstByteOf(const PacketTiming& timing);
  // Whether any line other than the packet's own can still hand one that
  // goes before it.
  bool MayStillComeBefore(const HeldPacket& packet, LineTime now) const;
  void HandOver(HeldPacket& packet);

  PacketSink& out_;
  std::vector<std::unique_ptr<LineInput>> inputs_;
  std::vector<std::function<LineTime()>> progress_;
  std::function<LineTime()> now_;
  std::function<void(int, const PacketTiming&)> outOfOrderNotice_;
  std::deque<HeldPacket> held_;
  QTimer check_;
  // Per line, the latest first byte handed over, to notice a packet handed
  // after a later one of another line.
  std::vector<LineTime> handedUpTo_;
  long long outOfOrder_ = 0;
};

}  // namespace tessaly
