#pragma once

#include "core/byte_source.h"
#include "core/deadline_timer.h"
#include "core/packet_time.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

class QTimer;

namespace tessaly {

// When a packet's bytes came on the line: its first byte, its last byte,
// and its end (the last byte and the silence after it that ended the packet;
// what a row is stamped with). An empty packet has all three at its end.
struct PacketTiming {
  PacketTime firstByte = 0;
  PacketTime lastByte = 0;
  PacketTime ended = 0;
  // The first byte's arrival on the monotonic line clock, by which packets
  // of different lines are ordered; the epoch where it is not known.
  LineTime firstByteOnLine{};
};

// Where finished packets go (the packet log, a capture file), each with the
// time it ended.
class PacketSink {
 public:
  virtual ~PacketSink() = default;
  virtual void AppendPacket(const std::uint8_t* bytes, int count, PacketTime endedAt) = 0;
  // The same with the times of the first and last byte, for a sink that
  // keeps them (a turnaround is an answer's first byte less its request's
  // last byte); others keep the end only.
  virtual void AppendPacket(const std::uint8_t* bytes, int count, const PacketTiming& timing) {
    AppendPacket(bytes, count, timing.ended);
  }
  // The same for a capture of several lines, with the line it came on
  // (counted from 0); a sink that keeps no lines keeps the packet alone.
  virtual void AppendLinePacket(int line, const std::uint8_t* bytes, int count, const PacketTiming& timing) {
    static_cast<void>(line);
    AppendPacket(bytes, count, timing);
  }
};

// Cuts the received byte stream into packets: every byte that arrived since
// the previous boundary, where a boundary is a silence longer than the
// end-of-packet interval. Runs on the user-interface thread only.
//
// Silences are measured on the line, not in the handlers: each read's bytes
// carry the time they arrived (as near the line as the link can tell), the
// running packet ends at its last arrival plus the interval, and the row is
// stamped with that moment. So a window that handles an arrival or the timer
// late still cuts where the line fell silent: bytes that arrived after the
// running packet's end start a new packet, and bytes that arrived before it
// join the packet even when the timer's handler runs first.
//
// The end-of-packet timer belongs to the main window, whose handler for its
// timeout calls OnEndOfPacket(). It is armed for what remains until the
// running packet's end and the settle time after it, in whole milliseconds;
// a kernel timer armed for the exact moment beside it usually ends the
// packet first, within a fraction of a millisecond, and stops it.
class PacketFramer {
 public:
  static constexpr int kCapacity = 1024;
  // How many reads one arrival may make while the source keeps the buffer
  // full (only the first of them may wait for bytes); beyond that the handler
  // returns to the event loop, and the source's next readiness event
  // continues where it stopped.
  static constexpr int kMaxReadsPerArrival = 64;
  // How long after a packet's end on the line its fate is decided. Bytes
  // that came just before the end may still be on their way through the
  // link's reader (a thread the machine held up for a moment); they carry
  // their own arrival, so waiting for them moves no cut and no stamp, only
  // the moment the row shows.
  static constexpr std::chrono::microseconds kSettleTime{2000};

  PacketFramer(QTimer& endPacketTimer, PacketSink& sink);

  // Sets the end-of-packet interval. Below 1 ms the timer would fire at once
  // or never, so such values are raised to 1. Changing the interval while the
  // timer is armed restarts the countdown with the new interval.
  void SetInterval(int milliseconds);
  void SetIntervalFromBaudRate(int bitsPerSecond);
  int Interval() const { return interval_; }
  // Told each new interval: the lines that cut their own packets take it.
  void SetIntervalChanged(std::function<void(int milliseconds)> changed) { intervalChanged_ = std::move(changed); }

  // Bytes are waiting on the link: reads them into the packet buffer and
  // arms the end of the packet (also when the read delivered nothing, so an
  // empty arrival still ends in a row). The source must stay alive until the
  // next call or until Reset: the timer's handler asks it for bytes that
  // arrived but have not been handled yet.
  void OnBytesAvailable(ByteSource& source);

  // The end-of-packet timer expired: bytes still waiting on the link are
  // taken first (they may belong to this packet); then, unless they extended
  // it, the buffered bytes become one packet (possibly empty) and the buffer
  // is emptied.
  void OnEndOfPacket();

  // Empties the buffer without logging; the timer is left as it is.
  void Reset();

  int Count() const { return count_; }
  // While a packet runs, when it ends on the line unless more bytes come.
  std::optional<LineTime> RunningEnd() const { return end_; }

 private:
  // Reads what the source holds; each read's bytes either join the running
  // packet or, arriving after its end, end it first. True when bytes came.
  bool ReadFrom(ByteSource& source, bool emptyReadIsArrival);
  // Notes read bytes (read > 0, placed after the first `before` bytes) or an
  // empty arrival (read <= 0) with their arrival.
  void Take(int before, int read, const Arrival& arrival);
  void ArmUntil(LineTime end);
  void StopTimers();
  void EmitPacket(int count);
  // Hands the first count bytes to the sink as one packet that ended at
  // ended, and forgets its byte times.
  void Deliver(int count, LineTime ended);
  void NoteBytes(const Arrival& arrival);

  QTimer& timer_;
  DeadlineTimer exactEnd_;
  PacketSink& sink_;
  int interval_ = 1;
  std::function<void(int)> intervalChanged_;
  ByteSource* source_ = nullptr;
  // The timer's handler took bytes before their own arrival was handled:
  // the readiness events still on their way find nothing, and are no
  // arrivals of their own until a read delivers bytes again.
  bool tookAhead_ = false;
  // While a packet runs: when it ends on the line unless more bytes come,
  // and when its first and last byte came (none while it has no byte).
  std::optional<LineTime> end_;
  std::optional<LineTime> firstByte_;
  LineTime lastByte_{};
  std::array<std::uint8_t, kCapacity> buffer_{};
  std::uint16_t count_ = 0;
};

}  // namespace tessaly
