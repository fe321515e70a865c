#pragma once

#include "core/packet_time.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

namespace tessaly {

// How a line is cut into packets (see PacketCutter).
struct CutRules {
  LineClock::duration interval = std::chrono::milliseconds(4);
  // The Modbus rule instead of the read grouping.
  bool cutAtSilences = false;
  // The read grouping: the longest silence inside one read, and the longest
  // read (none: reads end by silence or count alone). A readGap of zero
  // makes every arrival a read of its own, as a socket's receive is.
  LineClock::duration readGap = std::chrono::milliseconds(10);
  std::optional<LineClock::duration> readTotal = std::chrono::milliseconds(1000);
};

// Where a line's packets end, decided from when its bytes arrived and
// nothing else: no clock, no timer, no thread. Whoever reads the line feeds
// it each read with the moment it came, and tells it the time whenever it
// looks; finished packets come out through the callback, with the moments
// of their first and last byte and of their end.
//
// Two rules are offered:
//
// - Read grouping (the default): the line is read the way the platform's
//   serial read does it. Bytes that arrive no more than readGap after the
//   previous ones join the running read; a read also ends when the packet
//   buffer is full or readTotal after it began. A packet ends when no byte
//   came for the interval after a read ended, so bytes closer than readGap
//   share a packet whatever the interval, and a packet ends only after
//   readGap plus the interval of silence.
// - Line silences (the Modbus rule): a packet ends at any silence longer
//   than the interval, however the bytes were read.
//
// A byte that arrives exactly at a limit still joins: a read ends after MORE
// than readGap, a packet after MORE than the interval. The packet buffer
// holds kCapacity bytes; a full buffer is a packet at once.
class PacketCutter {
 public:
  static constexpr int kCapacity = 1024;
  using Duration = LineClock::duration;

  using Rules = CutRules;

  struct Packet {
    const std::uint8_t* bytes = nullptr;
    int count = 0;
    // An empty packet has all three at its end.
    LineTime firstByte{};
    LineTime lastByte{};
    // When the line had been quiet long enough: the moment the packet ended,
    // which the row shows.
    LineTime ended{};
  };
  using Emit = std::function<void(const Packet&)>;

  explicit PacketCutter(const Rules& rules = Rules());

  const Rules& CurrentRules() const { return rules_; }
  // A new interval while a packet waits for its silence restarts that wait
  // from now; the other rules apply from the next read.
  void SetRules(const Rules& rules, LineTime now);

  // count bytes came at the moment at (count 0: a read event that brought
  // nothing, which still starts the wait for the silence, and so may end in
  // an empty packet). Moments must not go back.
  void Feed(const std::uint8_t* bytes, int count, LineTime at, const Emit& emit);
  // It is now `now`: ends what the silence since has ended.
  void Advance(LineTime now, const Emit& emit);
  // Nothing more will come: the running packet ends where its silence would
  // have ended it.
  void Finish(const Emit& emit);
  // Forgets the running packet without handing it out.
  void Reset();

  // The earliest moment at which Advance can end anything; nothing while
  // there is nothing to end.
  std::optional<LineTime> NextDecision() const;
  // Bytes of the running packet.
  int Count() const { return count_; }
  // The first byte of the running packet, when it has one.
  std::optional<LineTime> RunningFirstByte() const;

 private:
  Duration ReadGap() const;
  std::optional<Duration> ReadTotal() const;
  // Ends the running read if it is over at `now`; an arrival at `now` ends
  // it on the total time only when it comes after that time.
  void EndReadIfOver(LineTime now, bool arrival);
  void EndPacketIfOver(LineTime now, const Emit& emit);
  void EmitRunning(LineTime ended, const Emit& emit);

  Rules rules_;
  std::array<std::uint8_t, kCapacity> buffer_{};
  int count_ = 0;
  LineTime firstByte_{};
  LineTime lastByte_{};
  // A read runs: it began at readStart_, its last bytes came at readLast_.
  bool reading_ = false;
  LineTime readStart_{};
  LineTime readLast_{};
  // No read runs and the packet waits for its silence: it ends at end_
  // unless a byte comes by then.
  std::optional<LineTime> end_;
};

}  // namespace tessaly
