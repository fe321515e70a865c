#pragma once

#include "core/packet_framer.h"

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <deque>
#include <functional>
#include <initializer_list>
#include <memory>
#include <vector>

namespace tessaly {

// Puts the packets of several lines, each cut by its own framer, into one
// sequence in the order they happened on the lines.
//
// Each line's framer hands its packets to Input(line) as they end; they are
// held until no line can still hand one that belongs before them, and then
// go to the output's AppendLinePacket with their line. Order is by end
// stamp, except that packets whose ends lie within the tie window of each
// other go by their first byte: lines cut with different intervals end an
// answer before its request when the answer's line has the shorter
// interval, although the request's bytes came first. Two packets whose ends
// lie further apart than the longest interval of the lines cannot overlap
// that way, so that is the window to set (TieWindowFor).
//
// When a line can still hand a packet is told by its progress: the
// earliest end a packet it has not handed yet can have (see
// CaptureSession::EarliestEndToCome). A line without a progress source is
// taken to be complete up to kHoldWithoutProgress ago. Whatever a line's
// progress says, nothing is held longer than kLongestHold: a line that
// reports no progress never stops the others.
class LineMerge : public QObject {
  Q_OBJECT

 public:
  static constexpr PacketTime kHoldWithoutProgress = 100'000;  // microseconds
  static constexpr PacketTime kLongestHold = 2'000'000;
  static constexpr PacketTime kDefaultTieWindow = 5'000;
  // How often held packets are looked at while any are held.
  static constexpr int kCheckMilliseconds = 5;

  explicit LineMerge(PacketSink& out, QObject* parent = nullptr);
  ~LineMerge() override;

  // The sink that line number line hands its packets to (lines count from 0).
  PacketSink& Input(int line);
  // The earliest end a packet of line can have that it has not handed yet.
  void SetProgress(int line, std::function<PacketTime()> earliestEndToCome);
  void SetTieWindow(PacketTime microseconds) { tieWindow_ = microseconds; }
  // The tie window for lines cut with these intervals (milliseconds): the
  // longest of them, and a millisecond for the timers' rounding.
  static PacketTime TieWindowFor(std::initializer_list<int> intervalsMs);
  // The clock that progress is compared with; the wall clock unless a test
  // sets its own.
  void SetClock(std::function<PacketTime()> now) { now_ = std::move(now); }

  // Hands over every packet that no line can come before any more.
  void HandOverDue();
  // Hands over every held packet, in order: the lines are closed.
  void Flush();

  int Held() const { return static_cast<int>(held_.size()); }
  // Packets handed over after a later one of another line had been, because
  // they came later than the longest hold (a stalled owner).
  long long OutOfOrder() const { return outOfOrder_; }

 private:
  struct HeldPacket {
    int line;
    PacketTiming timing;
    std::vector<std::uint8_t> bytes;
  };
  class LineInput;

  void Take(int line, const std::uint8_t* bytes, int count, const PacketTiming& timing);
  bool Before(const HeldPacket& a, const HeldPacket& b) const;
  // Whether any line other than the packet's own can still hand one that
  // goes before it.
  bool MayStillComeBefore(const HeldPacket& packet, PacketTime now) const;
  void HandOver(HeldPacket& packet);

  PacketSink& out_;
  std::vector<std::unique_ptr<LineInput>> inputs_;
  std::vector<std::function<PacketTime()>> progress_;
  std::function<PacketTime()> now_;
  PacketTime tieWindow_ = kDefaultTieWindow;
  std::deque<HeldPacket> held_;
  QTimer check_;
  // The packet handed over last, to notice one handed after a later one.
  bool handedAny_ = false;
  HeldPacket last_{};
  long long outOfOrder_ = 0;
};

}  // namespace tessaly
